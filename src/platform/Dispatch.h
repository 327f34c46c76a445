#pragma once

#include <functional>

// Work queues of the agent: the main thread's event loop, a bounded pool of
// background threads, and delayed work driven by timers (never by a thread
// that sleeps), so thousands of pending waits cost no threads.
class Dispatch {
  public:
    enum class Queue { Main, Global };

    // Runs fn on the main thread's event loop, asynchronously.
    static void main(std::function<void()> fn);
    // Runs fn on the bounded background pool.
    static void global(std::function<void()> fn);
    // Runs fn after ms milliseconds on the given queue. A single timer thread
    // drives every pending delay.
    static void after(int ms, std::function<void()> fn, Queue queue = Queue::Main);
    // Runs fn on the main thread and waits for it; runs it at once when
    // called on the main thread.
    static void mainSync(std::function<void()> fn);
    static bool isMainThread();
    // Blocks until every task queued on the global pool so far has finished
    // (tests and orderly shutdown).
    static void waitForGlobal(int timeoutMs = -1);
    // Upper bound of background threads.
    static int globalThreadLimit();
};
