// panic_exception.cpp: the PanicException type and the error made from an InternalFailure.
#include "module/panic_exception.hpp"

#include "module/once_cell.hpp"

namespace morvane::module {
namespace {

constexpr const char* qualified_name = "pyo3_runtime.PanicException";
constexpr const char* documentation =
    "\n"
    "The exception raised when native code called from Python fails in a way it cannot\n"
    "recover from.\n"
    "\n"
    "Like SystemExit, it derives from BaseException rather than Exception, so that it\n"
    "will typically propagate all the way through the stack and cause the Python\n"
    "interpreter to exit.\n";

constinit OnceCell panic_type_cell;

}  // namespace

PyObject* panic_exception_type() {
    return panic_type_cell.get([] {
        PyObject* type = PyErr_NewExceptionWithDoc(qualified_name, documentation, PyExc_BaseException, nullptr);
        if (type == nullptr) {
            PyRef failure = PyRef::steal(PyErr_GetRaisedException());
            std::string rendered = "no exception was set";
            if (failure) rendered = PythonError::ready(std::move(failure)).describe();
            throw InternalFailure("Failed to initialize new exception type.: " + rendered);
        }
        return type;
    });
}

PythonError panic_error(const InternalFailure& failure) {
    PyObject* type = panic_exception_type();
    const std::string_view message = failure.what();
    // "replace": a failure's text is not guaranteed to be valid UTF-8, and it must still be raised.
    PyRef text = PyRef::steal(
        PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
    PyRef arguments = text ? PyRef::steal(PyTuple_Pack(1, text.get())) : PyRef();
    if (!arguments) throw InternalFailure("could not make the message of a PanicException");
    return PythonError::lazy(PyRef::borrow(type), std::move(arguments));
}

}  // namespace morvane::module
