// once_cell.hpp: OnceCell, a process-wide Python object made once, on first need, and kept.
#pragma once

#include <atomic>
#include <mutex>

#include "module/interpreter_lock.hpp"

namespace morvane::module {

// Holds one strong reference for the rest of the process. A complete cell is read without any
// lock. To fill it, a thread first releases the interpreter lock and only then waits for the
// cell's own mutex, so no thread ever waits on the mutex while holding the interpreter lock; the
// winner takes the interpreter lock back and makes the object under it. When making fails (an
// InternalFailure), the cell stays empty, the interpreter lock is held again, and the next use
// tries anew.
class OnceCell {
public:
    constexpr OnceCell() noexcept = default;
    OnceCell(const OnceCell&) = delete;
    OnceCell& operator=(const OnceCell&) = delete;

    // make() runs with the interpreter lock held and returns a new reference, never null.
    template <class Make>
    PyObject* get(Make&& make) {
        if (PyObject* made = value_.load(std::memory_order_acquire)) return made;
        std::unique_lock<std::mutex> filling = lock_without_interpreter_lock();
        if (PyObject* made = value_.load(std::memory_order_acquire)) return made;
        PyObject* made = make();
        value_.store(made, std::memory_order_release);
        return made;
    }

private:
    // Returns holding the cell's mutex and the interpreter lock, in that order of taking.
    std::unique_lock<std::mutex> lock_without_interpreter_lock() {
        InterpreterLockRelease released;
        return std::unique_lock<std::mutex>(mutex_);
    }

    std::atomic<PyObject*> value_{nullptr};
    std::mutex mutex_;
};

}  // namespace morvane::module
