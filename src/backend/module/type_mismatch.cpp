// type_mismatch.cpp: the type-mismatch TypeError.
#include "module/type_mismatch.hpp"

#include <string>

#include "module/utf8_text.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {
namespace {

std::string expected_name(PyTypeObject* expected) {
    if (expected == Py_TYPE(Py_None)) return "None";
    PyRef name = PyRef::steal(PyType_GetQualName(expected));
    if (!name) throw InternalFailure("the expected type of a type check has no name: " + fetch_error().describe());
    return utf8_with_replacement(name.get());
}

}  // namespace

PythonError type_mismatch(PyObject* object, PyTypeObject* expected) {
    std::string message = object == Py_None ? std::string("'None'")
                                            : "'" + qualified_type_name(Py_TYPE(object)) + "' object";
    message += " is not an instance of '" + expected_name(expected) + "'";
    return PythonError::with_message(PyExc_TypeError, message);
}

}  // namespace morvane::module
