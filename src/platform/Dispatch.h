#pragma once

#include <chrono>
#include <functional>
#include <mutex>

// Work queues of the agent: the main thread's event loop, a bounded pool of
// background threads, and delayed work driven by timers (never by a thread
// that sleeps), so thousands of pending waits cost no threads.
//
// Work for the main queue runs in the order it was queued, always from the
// event loop (never inside main() itself). Queued before the application
// object exists, it waits until the application's event loop runs; queued
// after the application object is gone, it never runs. Every hand-over
// between threads goes through standard mutexes, which ThreadSanitizer sees.
class Dispatch {
  public:
    enum class Queue { Main, Global };

    // Runs fn on the main thread's event loop, asynchronously.
    static void main(std::function<void()> fn);
    // Runs fn on the bounded background pool.
    static void global(std::function<void()> fn);
    // Runs fn on a pool of its own in the idle scheduling class (nice 10
    // where that is refused): work nobody waits for, such as thumbnails,
    // which on a machine with few cores would otherwise take a core from
    // the work a user waits on.
    static void background(std::function<void()> fn);
    // Runs fn after ms milliseconds on the given queue. A single timer thread
    // drives every pending delay.
    static void after(int ms, std::function<void()> fn, Queue queue = Queue::Main);
    // The clock delays are measured by; null is the steady clock. Tests set a
    // clock of their own and set it again whenever they move it on, since
    // each call makes the pending delays be looked at afresh.
    using TimeSource = std::function<std::chrono::steady_clock::time_point()>;
    static void setClock(TimeSource now);
    // Runs fn on the main thread and waits for it; runs it at once when
    // called on the main thread, or on the calling thread when there is no
    // application object. Deadlocks, as any synchronous hop does, if the main
    // thread is itself waiting for the caller (e.g. in waitForGlobal()).
    static void mainSync(std::function<void()> fn);
    static bool isMainThread();
    // Runs fn exactly once per flag, however many threads call at once; the
    // others wait until it has finished.
    static void once(std::once_flag& flag, const std::function<void()>& fn) {
        std::call_once(flag, fn);
    }
    // Blocks until every task queued on the global and background pools so
    // far has finished (tests and orderly shutdown).
    static void waitForGlobal(int timeoutMs = -1);
    // Upper bound of background threads.
    static int globalThreadLimit();
};
