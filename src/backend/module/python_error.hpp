// python_error.hpp: PythonError, a Python exception held by the module until the call frame
// raises it, and the two ways across the interpreter's error indicator: fetch_error, raise_error.
#pragma once

#include <string>
#include <string_view>

#include "module/py_ref.hpp"

namespace morvane::module {

// Either ready (an exception object) or lazy (an exception type and its argument: a message str,
// a tuple of arguments, or None), turned into an object only when someone needs the object.
// Holds owned references; ends, like every PyRef, with the interpreter lock held.
class PythonError {
public:
    static PythonError ready(PyRef exception) noexcept;
    static PythonError lazy(PyRef type, PyRef argument) noexcept;
    // A lazy error of a built-in type with a message; a message that cannot be made into a str
    // (memory exhausted) raises InternalFailure.
    static PythonError with_message(PyObject* type, std::string_view message);

    PythonError(PythonError&&) noexcept = default;
    PythonError& operator=(PythonError&&) noexcept = default;

    // The exception object, made from the lazy form on first request (at most once).
    PyObject* exception();
    // Whether the exception is an instance of type (subclasses too).
    bool matches(PyObject* type);
    // "TypeName: text", for the reports that quote an exception inside another text.
    std::string describe();

    friend void raise_error(PythonError error);

private:
    PythonError() noexcept = default;
    PyRef exception_;
    PyRef type_;
    PyRef argument_;
};

// Makes the error the interpreter's pending exception and consumes it. A lazy error whose type is
// not an exception class raises TypeError "exceptions must derive from BaseException" instead.
// Not noexcept: making the exception may run Python code, during which the interpreter's exit may
// end the thread; that unwind must reach the call frame.
void raise_error(PythonError error);

// Takes the interpreter's pending exception. Call it right after a C API call that reported
// failure. No pending exception gives SystemError "attempted to fetch exception but none was set".
// A PanicException that Python code raised is not returned: its failure resumes, reported on
// standard error, as an InternalFailure with the same message.
PythonError fetch_error();

}  // namespace morvane::module
