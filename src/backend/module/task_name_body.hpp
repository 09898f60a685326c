// task_name_body.hpp: what the operations of both modules share: binding a call whose one
// parameter is task_name, the signature of such a call, and the result of an operation that
// answers nothing.
#pragma once

#include <array>
#include <string_view>

#include "module/argument_text.hpp"
#include "module/call_frame.hpp"
#include "module/call_signature.hpp"

namespace morvane::module {

inline constexpr std::array<std::string_view, 1> kTaskNameOnly = {"task_name"};

constexpr CallSignature task_name_signature(std::string_view function) {
    return CallSignature{
        .function_name = function,
        .class_name = {},
        .positional = kTaskNameOnly,
        .positional_only = /*none*/ 0,
        .required_positional = /*all*/ 1,
        .keyword_only = {},
    };
}

// The signature of an operation called as a method of Scheduler: the binder's messages then name
// "Scheduler.<method>()".
constexpr CallSignature as_scheduler_method(CallSignature signature) {
    signature.class_name = "Scheduler";
    return signature;
}

// None, or the failure.
inline ObjectResult none_or_error(Result<void, PythonError> outcome) {
    if (!outcome) return Err{std::move(outcome).error()};
    return PyRef::borrow(Py_None);
}

// Binds the call against the signature and takes the task name's text.
inline Result<std::string_view, PythonError> bound_task_name(const CallSignature& signature, PyObject* const* args,
                                                             Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 1> slots{};
    if (Result<void, PythonError> bound = bind_arguments(signature, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    return task_name_text(slots[0], "task_name");
}

}  // namespace morvane::module
