// interpreter_lock.hpp: releasing the interpreter lock around work that touches no Python object.
#pragma once

#include <utility>

#include "module/python.hpp"
#include "module/thread_exit.hpp"

namespace morvane::module {

// Releases the lock (detaches the thread state, on a free-threaded build) when made, and takes it
// back when it ends, on every way out: a return, or an InternalFailure passing through. What the
// work inside holds must end inside it, before the guard does. When the interpreter is exiting,
// taking the lock back ends the thread instead, and the thread parks here (see thread_exit.hpp),
// so the frames around a guard must hold nothing that another thread waits for.
class InterpreterLockRelease {
public:
    InterpreterLockRelease() noexcept : state_(PyEval_SaveThread()) {}
    MORVANE_MEETS_THREAD_EXIT ~InterpreterLockRelease() {
        try {
            PyEval_RestoreThread(state_);
        } catch (const ThreadExitUnwind&) {
            park_exiting_thread();
        }
    }
    InterpreterLockRelease(const InterpreterLockRelease&) = delete;
    InterpreterLockRelease& operator=(const InterpreterLockRelease&) = delete;

private:
    PyThreadState* state_;
};

// Runs work with the interpreter lock released and returns its result. The result is made before
// the lock is taken back, so it must hold no Python object.
template <class Work>
decltype(auto) without_interpreter_lock(Work&& work) {
    InterpreterLockRelease released;
    return std::forward<Work>(work)();
}

}  // namespace morvane::module
