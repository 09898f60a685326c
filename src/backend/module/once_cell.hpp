// once_cell.hpp: OnceCell, a process-wide Python object made once, on first need, and kept.
#pragma once

#include <atomic>

#include "module/interpreter_lock.hpp"
#include "runtime/once_claim.hpp"

namespace morvane::module {

// Holds one strong reference for the rest of the process. A complete cell is read without any
// lock. To fill it, a thread claims the fill without waiting (the claim is one atomic word) and
// makes the object under the interpreter lock it already holds. A thread that finds the fill
// claimed by another releases the interpreter lock before it waits, so no thread ever waits on a
// cell while holding that lock; it then takes the lock back and looks again. When making fails
// (an InternalFailure), the claim is given up, the cell stays empty and the next use tries anew.
// A claim copied into the child of a fork() is taken over there (see OnceClaim).
class OnceCell {
public:
    constexpr OnceCell() noexcept = default;
    OnceCell(const OnceCell&) = delete;
    OnceCell& operator=(const OnceCell&) = delete;

    // make() runs with the interpreter lock held and returns a new reference, never null.
    template <class Make>
    PyObject* get(Make&& make) {
        for (;;) {
            if (PyObject* made = value_.load(std::memory_order_acquire)) return made;
            if (claim_.try_claim()) {
                OnceClaimRelease release(claim_);
                // Filled by the previous holder between the look above and the claim.
                if (PyObject* made = value_.load(std::memory_order_acquire)) return made;
                PyObject* made = make();
                value_.store(made, std::memory_order_release);
                return made;
            }
            InterpreterLockRelease released;
            claim_.wait_while_claimed();
        }
    }

private:
    std::atomic<PyObject*> value_{nullptr};
    OnceClaim claim_;
};

}  // namespace morvane::module
