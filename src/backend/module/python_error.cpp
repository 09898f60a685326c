// python_error.cpp: PythonError, fetch_error and raise_error.
#include "module/python_error.hpp"

#include <cstdio>

#include "module/panic_exception.hpp"
#include "module/utf8_text.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

constexpr std::string_view nothing_fetched = "attempted to fetch exception but none was set";
constexpr const char* not_an_exception = "exceptions must derive from BaseException";

// Lets the failure behind a PanicException met in Python code go on as this module's own: the
// traceback is printed where the user looks for it, and the message travels on.
[[noreturn]] void resume_panic(PyRef exception) {
    std::string message = "Unwrapped panic from Python code";
    if (PyRef text = PyRef::steal(PyObject_Str(exception.get()))) {
        message = utf8_with_replacement(text.get());
    } else {
        PyRef dropped = PyRef::steal(PyErr_GetRaisedException());
    }
    std::fputs("--- morvane: resuming an internal failure after fetching a PanicException from Python ---\n"
               "Python stack trace below:\n",
               stderr);
    std::fflush(stderr);
    PyErr_SetRaisedException(exception.release());
    PyErr_PrintEx(0);
    throw InternalFailure(std::move(message));
}

}  // namespace

PythonError PythonError::ready(PyRef exception) noexcept {
    PythonError error;
    error.exception_ = std::move(exception);
    return error;
}

PythonError PythonError::lazy(PyRef type, PyRef argument) noexcept {
    PythonError error;
    error.type_ = std::move(type);
    error.argument_ = std::move(argument);
    return error;
}

PythonError PythonError::with_message(PyObject* type, std::string_view message) {
    PyRef text = PyRef::steal(PyUnicode_FromStringAndSize(message.data(), static_cast<Py_ssize_t>(message.size())));
    if (!text) throw InternalFailure("could not make the text of an exception: " + fetch_error().describe());
    return lazy(PyRef::borrow(type), std::move(text));
}

PyObject* PythonError::exception() {
    if (!exception_) {
        raise_error(std::move(*this));
        exception_ = PyRef::steal(PyErr_GetRaisedException());
    }
    return exception_.get();
}

bool PythonError::matches(PyObject* type) { return PyErr_GivenExceptionMatches(exception(), type) != 0; }

std::string PythonError::describe() {
    PyObject* object = exception();
    std::string text = qualified_type_name(Py_TYPE(object));
    PyRef value = PyRef::steal(PyObject_Str(object));
    if (!value) {
        PyRef dropped = PyRef::steal(PyErr_GetRaisedException());
        return text + ": <str() failed>";
    }
    std::string rendered = utf8_with_replacement(value.get());
    return rendered.empty() ? text : text + ": " + rendered;
}

void raise_error(PythonError error) {
    if (error.exception_) {
        PyErr_SetRaisedException(error.exception_.release());
        return;
    }
    PyObject* type = error.type_.get();
    if (PyExceptionClass_Check(type)) {
        PyErr_SetObject(type, error.argument_.get());
    } else {
        PyErr_SetString(PyExc_TypeError, not_an_exception);
    }
}

PythonError fetch_error() {
    PyRef exception = PyRef::steal(PyErr_GetRaisedException());
    if (!exception) return PythonError::with_message(PyExc_SystemError, nothing_fetched);
    if (Py_IS_TYPE(exception.get(), reinterpret_cast<PyTypeObject*>(panic_exception_type()))) resume_panic(std::move(exception));
    return PythonError::ready(std::move(exception));
}

}  // namespace morvane::module
