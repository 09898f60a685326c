// py_ref.cpp: release_reference, how every PyRef gives up its reference.
#include "module/py_ref.hpp"

#include "module/thread_exit.hpp"

namespace morvane::module {

MORVANE_MEETS_THREAD_EXIT void release_reference(PyObject* object) noexcept {
    if (PyThreadState_GetUnchecked() == nullptr) return;
    try {
        Py_DECREF(object);
    } catch (const ThreadExitUnwind&) {
        // A finaliser that the release ran asked for the lock back while the interpreter exits.
        park_exiting_thread();
    }
}

}  // namespace morvane::module
