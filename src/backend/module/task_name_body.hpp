// task_name_body.hpp: what the functions of both modules share: the body of a function whose one
// parameter is task_name, and the result of an operation that answers nothing.
#pragma once

#include <array>
#include <string_view>

#include "module/argument_text.hpp"
#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::module {

// None, or the package's exception.
inline ObjectResult none_or_error(Result<void, scheduler::SchedulerError> outcome) {
    if (!outcome) return Err{map_scheduler_error(std::move(outcome).error())};
    return PyRef::borrow(Py_None);
}

// Binds the call against the signature, takes the task name's text and hands it to Impl.
template <auto Impl>
ObjectResult task_name_body(const CallSignature& signature, PyObject* const* args, Py_ssize_t nargs,
                            PyObject* kwnames) {
    std::array<PyObject*, 1> slots{};
    if (Result<void, PythonError> bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    if (!task_name) return Err{std::move(task_name).error()};
    return Impl(task_name.value());
}

}  // namespace morvane::module
