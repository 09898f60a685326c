// task_operation_bodies.hpp: run_task, delete_task, task_exists and register_xml as Python sees
// them, as module-level functions of _morvane_backend and as methods of Scheduler.
//
// Each operation is a signature record and a body. A body binds the call and takes UTF-8 views
// of its texts under the interpreter lock, hands the scheduler operation to its runner (a
// connection of its own, or a session's: see own_connection_runner.hpp), and turns the outcome
// into the result or the exception. A malformed call never reaches the scheduler.
#pragma once

#include <array>
#include <string_view>

#include "module/argument_text.hpp"
#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/task_name_body.hpp"
#include "scheduler/task_operations.hpp"

namespace morvane::module {

inline constexpr std::array<std::string_view, 2> kTaskNameAndXml = {"task_name", "xml_data"};

struct RegisterXml {
    static constexpr CallSignature signature{
        .function_name = "register_xml",
        .class_name = {},
        .positional = kTaskNameAndXml,
        .positional_only = /*none*/ 0,
        .required_positional = /*all*/ 2,
        .keyword_only = {},
    };
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        std::array<PyObject*, 2> slots{};
        if (Result<void, PythonError> bound = bind_arguments(bound_as, args, nargs, kwnames, slots); !bound)
            return Err{std::move(bound).error()};
        Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
        if (!task_name) return Err{std::move(task_name).error()};
        Result<std::string_view, PythonError> xml_data = argument_text(slots[1], "xml_data");
        if (!xml_data) return Err{std::move(xml_data).error()};
        return none_or_error(runner.run([&](auto&... connection) {
            return scheduler::register_xml(connection..., task_name.value(), xml_data.value());
        }));
    }
};

struct DeleteTask {
    static constexpr CallSignature signature = task_name_signature("delete_task");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        return none_or_error(
            runner.run([&](auto&... connection) { return scheduler::delete_task(connection..., task_name.value()); }));
    }
};

struct RunTask {
    static constexpr CallSignature signature = task_name_signature("run_task");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        return none_or_error(
            runner.run([&](auto&... connection) { return scheduler::run_task(connection..., task_name.value()); }));
    }
};

struct TaskExists {
    static constexpr CallSignature signature = task_name_signature("task_exists");
    template <class Runner>
    static ObjectResult body(const Runner& runner, const CallSignature& bound_as, PyObject* const* args,
                             Py_ssize_t nargs, PyObject* kwnames) {
        Result<std::string_view, PythonError> task_name = bound_task_name(bound_as, args, nargs, kwnames);
        if (!task_name) return Err{std::move(task_name).error()};
        Result<bool, PythonError> exists =
            runner.run([&](auto&... connection) { return scheduler::task_exists(connection..., task_name.value()); });
        if (!exists) return Err{std::move(exists).error()};
        return PyRef::borrow(exists.value() ? Py_True : Py_False);
    }
};

}  // namespace morvane::module
