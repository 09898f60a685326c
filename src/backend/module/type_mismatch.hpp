// type_mismatch.hpp: the TypeError for an object that is not an instance of an expected type.
#pragma once

#include "module/python_error.hpp"

namespace morvane::module {

// TypeError "'int' object is not an instance of 'str'", or "'None' is not an instance of 'str'"
// for None. Type names are qualified names without their module.
PythonError type_mismatch(PyObject* object, PyTypeObject* expected);

}  // namespace morvane::module
