// thread_exit.hpp: a thread that the interpreter's exit ends while it is inside the module.
//
// CPython 3.13 ends a daemon thread that asks for the interpreter lock (or, free-threaded, to
// attach) once finalisation has begun: take_gil() gives the lock up and calls pthread_exit(),
// which glibc carries out as a forced unwind of the thread's stack. That unwind is no failure of
// the module, but it meets noexcept frames (the lock guard's destructor, the call frame), and a
// forced unwind that leaves a noexcept frame ends in std::terminate.
//
// The module lets no such unwind run on: where it meets one, the thread parks for good. Passing
// it on would run this thread's destructors, thread_local ones included (the platform's
// per-thread state), while the main thread runs exit() and the static destructors they lean on;
// a parked thread runs nothing more, holds no interpreter lock (CPython gave it up before the
// exit began), touches no Python object, and the process ends around it. CPython 3.14 ends such
// threads the same way (it lets them hang).
//
// Elsewhere no unwind comes: Windows ends the thread without unwinding it, and a C++ runtime
// other than libstdc++ has no name for glibc's forced unwind (there it would reach catch (...)).
#pragma once

#if defined(__GLIBCXX__)
#include <cxxabi.h>
#endif

namespace morvane::module {

#if defined(__GLIBCXX__)
// What a handler names to meet the forced unwind of pthread_exit().
using ThreadExitUnwind = abi::__forced_unwind;
#else
// A type nothing throws: no handler for it ever runs.
struct ThreadExitUnwind {};
#endif

// Marks a function with a handler of ThreadExitUnwind. The forced unwind carries no exception
// object, so the handler's reference is bound to null, as libstdc++'s own handlers of it are;
// UndefinedBehaviorSanitizer's null check would report that binding, so it is left out there. The
// function stays out of line: inlined, its handler would land in a caller without the mark.
#if defined(__GNUC__) || defined(__clang__)
#define MORVANE_MEETS_THREAD_EXIT __attribute__((noinline, no_sanitize("null")))
#else
#define MORVANE_MEETS_THREAD_EXIT
#endif

// Blocks the calling thread for the rest of the process. Call it only from a handler of
// ThreadExitUnwind: the handler never ends, so the unwind is neither resumed nor abandoned (glibc
// aborts a forced unwind that is caught and not rethrown).
[[noreturn]] void park_exiting_thread() noexcept;

}  // namespace morvane::module
