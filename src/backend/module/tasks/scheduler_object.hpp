// scheduler_object.hpp: the instance layout of morvane.Scheduler, and the entry point of its
// methods that run a task operation on the instance's session.
#pragma once

#include <cstdint>

#include "module/call_frame.hpp"
#include "module/session_runner.hpp"
#include "module/task_name_body.hpp"
#include "scheduler/scheduler_session.hpp"

namespace morvane::module {

// Made only by the type's tp_new, once the session is open: session is constructed in place
// there and destroyed by tp_dealloc, so it exists for the whole life of every instance. Nothing
// here changes after tp_new; the session is safe to use from any thread at once.
struct SchedulerObject {
    PyObject_HEAD
    scheduler::SchedulerSession session;
    std::uint32_t fork_generation;  // of the process that opened the session
};

inline scheduler::SchedulerSession& session_of(PyObject* self) noexcept {
    return reinterpret_cast<SchedulerObject*>(self)->session;
}

template <class Operation>
inline constexpr CallSignature kMethodSignature = as_scheduler_method(Operation::signature);

// METH_FASTCALL | METH_KEYWORDS: self is a Scheduler (the method descriptor checked it).
template <class Operation>
PyObject* method_entry(PyObject* self, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] {
        return Operation::body(SessionRunner{session_of(self)}, kMethodSignature<Operation>, args, nargs, kwnames);
    });
}

}  // namespace morvane::module
