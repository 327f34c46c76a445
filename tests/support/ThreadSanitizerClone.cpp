// Under ThreadSanitizer, child processes are started with fork semantics.
//
// Qt 6.4 starts every QProcess child with clone(CLONE_VM | CLONE_VFORK): the
// child runs on the parent's memory until it execs. ThreadSanitizer's clone
// interceptor then runs its after-fork bookkeeping in the child on the
// parent's own state, and the parent loses track of its mutexes: later
// hand-overs through a perfectly locked queue are reported as races. This
// wrapper, linked into every test program of a ThreadSanitizer build (see
// tests/CMakeLists.txt), takes precedence over the interceptor and drops CLONE_VM so that the child
// gets its own copy of memory, as with fork(); CLONE_VFORK still holds the parent until the child
// has exec'ed, so QProcess sees no difference.
#if defined(__SANITIZE_THREAD__)

#include <dlfcn.h>
#include <sched.h>
#include <sys/types.h>

#include <cstdarg>

extern "C" int clone(int (*fn)(void*), void* stack, int flags, void* arg, ...) {
    va_list rest;
    va_start(rest, arg);
    pid_t* parentTid = va_arg(rest, pid_t*);
    void* tls = va_arg(rest, void*);
    pid_t* childTid = va_arg(rest, pid_t*);
    va_end(rest);
    using Clone = int (*)(int (*)(void*), void*, int, void*, ...);
    // The next clone is ThreadSanitizer's interceptor, which handles a clone
    // without CLONE_VM as it handles fork().
    static const Clone next = reinterpret_cast<Clone>(dlsym(RTLD_NEXT, "clone"));
    if ((flags & CLONE_VM) && (flags & CLONE_VFORK)) flags &= ~CLONE_VM;
    return next(fn, stack, flags, arg, parentTid, tls, childTid);
}

// Named by the linker option that pulls this file into every test program.
extern "C" {
extern const int relaydockThreadSanitizerClone;
const int relaydockThreadSanitizerClone = 1;
}

#endif
