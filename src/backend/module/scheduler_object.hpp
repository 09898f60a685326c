// scheduler_object.hpp: the instance layout of morvane.Scheduler.
#pragma once

#include <cstdint>

#include "module/python.hpp"
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

}  // namespace morvane::module
