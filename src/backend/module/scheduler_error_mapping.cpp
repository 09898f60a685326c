// scheduler_error_mapping.cpp: map_scheduler_error.
#include "module/scheduler_error_mapping.hpp"

#include <cstdint>
#include <string_view>

#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

constexpr std::string_view errors_module = "morvane.errors";
constexpr std::uint32_t access_denied = 0x80070005;

PyRef make_text(std::string_view text) {
    PyRef object = PyRef::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
    if (!object) throw InternalFailure("could not make a text for the scheduler's exception: " + fetch_error().describe());
    return object;
}

// What the class returned: an exception instance is raised as it is; anything else is raised as
// an exception type, which fails with TypeError unless it is an exception class.
PythonError error_from_returned(PyRef returned) {
    if (PyExceptionInstance_Check(returned.get())) return PythonError::ready(std::move(returned));
    return PythonError::lazy(std::move(returned), PyRef::borrow(Py_None));
}

}  // namespace

PythonError map_scheduler_error(scheduler::SchedulerError error) {
    const scheduler::SchedulerError failure = std::move(error);  // its text ends with this call

    PyRef module_name = make_text(errors_module);
    PyRef module = PyRef::steal(PyImport_Import(module_name.get()));
    module_name = PyRef();
    if (!module) return fetch_error();

    const auto code = static_cast<std::uint32_t>(failure.code);
    PyRef class_name = make_text(code == access_denied ? "TaskPermissionError" : "TaskSchedulerError");
    PyRef error_class = PyRef::steal(PyObject_GetAttr(module.get(), class_name.get()));
    class_name = PyRef();
    module = PyRef();
    if (!error_class) return fetch_error();

    PyRef message = make_text(failure.message);
    PyRef code_object = PyRef::steal(PyLong_FromUnsignedLongLong(code));
    if (!code_object) throw InternalFailure("could not make the code of the scheduler's exception");
    PyRef operation = make_text(failure.operation);

    // A spare slot in front of the arguments lets the callee borrow args[-1].
    PyObject* arguments[] = {nullptr, message.get(), code_object.get(), operation.get()};
    PyRef returned =
        PyRef::steal(PyObject_Vectorcall(error_class.get(), arguments + 1, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
    if (!returned) return fetch_error();
    return error_from_returned(std::move(returned));
}

}  // namespace morvane::module
