// module_functions.hpp: the execution slot's work, shared by the package's extension modules:
// making a module's functions (and types) and listing them in __all__.
#pragma once

#include <span>

#include "module/call_frame.hpp"

namespace morvane::module {

// Makes a function object of each definition (with the module as its self and the module's name
// as its __module__), sets it as the attribute of its __name__ and appends that name to __all__
// (made when the module has none), in table order. Stops at the first failure.
StatusResult add_functions(PyObject* module, std::span<PyMethodDef> table);

// Makes the heap type of a PyType_Spec for the module (PyType_FromModuleAndSpec), sets it as the
// attribute of its __name__ and appends that name to __all__.
StatusResult add_type(PyObject* module, PyType_Spec& spec);

// The entry point's type, as a PyMethodDef holds it (METH_FASTCALL | METH_KEYWORDS).
using FastCallEntry = PyObject* (*)(PyObject*, PyObject* const*, Py_ssize_t, PyObject*) noexcept;
inline PyCFunction as_method(FastCallEntry entry) noexcept {
    return reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(entry));
}

}  // namespace morvane::module
