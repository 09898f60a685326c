// function_bodies.cpp: run_task, delete_task, task_exists and register_xml as Python sees them.
//
// Each entry point runs its body in the call frame. A body binds the call against its signature
// record and takes UTF-8 views of the texts, all under the interpreter lock; then its _impl runs
// the scheduler operation with the lock released, takes the lock back, and turns the outcome into
// the result or into the package's exception. A malformed call never reaches the scheduler.
#include "module/backend/function_bodies.hpp"

#include <array>
#include <string_view>

#include "module/argument_text.hpp"
#include "module/call_frame.hpp"
#include "module/call_signature.hpp"
#include "module/interpreter_lock.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "module/task_name_body.hpp"
#include "scheduler/task_operations.hpp"

namespace morvane::module {
namespace {

constexpr std::array<std::string_view, 1> kTaskNameOnly = {"task_name"};
constexpr std::array<std::string_view, 2> kTaskNameAndXml = {"task_name", "xml_data"};

constexpr CallSignature signature_of(std::string_view function, std::span<const std::string_view> parameters) {
    return CallSignature{
        .function_name = function,
        .class_name = {},
        .positional = parameters,
        .positional_only = /*none*/ 0,
        .required_positional = /*all*/ parameters.size(),
        .keyword_only = {},
    };
}

constexpr CallSignature kRegisterXml = signature_of("register_xml", kTaskNameAndXml);
constexpr CallSignature kDeleteTask = signature_of("delete_task", kTaskNameOnly);
constexpr CallSignature kRunTask = signature_of("run_task", kTaskNameOnly);
constexpr CallSignature kTaskExists = signature_of("task_exists", kTaskNameOnly);

ObjectResult register_xml_impl(std::string_view task_name, std::string_view xml_data) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::register_xml(task_name, xml_data); }));
}

ObjectResult delete_task_impl(std::string_view task_name) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::delete_task(task_name); }));
}

ObjectResult run_task_impl(std::string_view task_name) {
    return none_or_error(without_interpreter_lock([&] { return scheduler::run_task(task_name); }));
}

ObjectResult task_exists_impl(std::string_view task_name) {
    Result<bool, scheduler::SchedulerError> outcome =
        without_interpreter_lock([&] { return scheduler::task_exists(task_name); });
    if (!outcome) return Err{map_scheduler_error(std::move(outcome).error())};
    return PyRef::borrow(outcome.value() ? Py_True : Py_False);
}

ObjectResult register_xml_body(PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    std::array<PyObject*, 2> slots{};
    if (Result<void, PythonError> bound = bind_arguments(kRegisterXml, args, nargs, kwnames, slots); !bound)
        return Err{std::move(bound).error()};
    Result<std::string_view, PythonError> task_name = task_name_text(slots[0], "task_name");
    if (!task_name) return Err{std::move(task_name).error()};
    Result<std::string_view, PythonError> xml_data = argument_text(slots[1], "xml_data");
    if (!xml_data) return Err{std::move(xml_data).error()};
    return register_xml_impl(task_name.value(), xml_data.value());
}

}  // namespace

PyObject* register_xml_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return register_xml_body(args, nargs, kwnames); });
}

PyObject* delete_task_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<delete_task_impl>(kDeleteTask, args, nargs, kwnames); });
}

PyObject* run_task_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<run_task_impl>(kRunTask, args, nargs, kwnames); });
}

PyObject* task_exists_entry(PyObject*, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) noexcept {
    return call_frame([&] { return task_name_body<task_exists_impl>(kTaskExists, args, nargs, kwnames); });
}

}  // namespace morvane::module
