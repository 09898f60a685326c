// panic_exception.hpp: PanicException, what a contained internal failure becomes in Python.
#pragma once

#include "module/python.hpp"
#include "module/python_error.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {

// The type pyo3_runtime.PanicException, derived from BaseException: made once per process on
// first need and kept; never an attribute of any module. A type that cannot be made raises
// InternalFailure "Failed to initialize new exception type.: ...".
PyObject* panic_exception_type();

// The error raised for a contained failure: a PanicException whose args are (message,), the
// message being the failure's text or, for a failure without one, a generic text.
PythonError panic_error(const InternalFailure& failure);

}  // namespace morvane::module
