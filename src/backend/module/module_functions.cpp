// module_functions.cpp: add_functions, add_type and what they do to __all__.
#include "module/module_functions.hpp"

#include "module/interned_names.hpp"
#include "module/type_mismatch.hpp"

namespace morvane::module {
namespace {

// The module's __all__ list, made empty when the module has none.
Result<PyRef, PythonError> get_all_list(PyObject* module) {
    PyRef all = PyRef::steal(PyObject_GetAttr(module, name_all()));
    if (all) {
        if (!PyList_Check(all.get())) return Err{type_mismatch(all.get(), &PyList_Type)};
        return all;
    }
    PythonError failure = fetch_error();
    if (!failure.matches(PyExc_AttributeError)) return Err{std::move(failure)};

    PyRef fresh = PyRef::steal(PyList_New(0));
    if (!fresh) throw InternalFailure("could not make the list __all__: " + fetch_error().describe());
    if (PyObject_SetAttr(module, name_all(), fresh.get()) < 0) return Err{fetch_error()};
    return fresh;
}

// Lists name in __all__ and sets the attribute of that name to value.
Result<void, PythonError> add_attribute(PyObject* module, PyObject* name, PyObject* value) {
    Result<PyRef, PythonError> found = get_all_list(module);
    MORVANE_RETURN_IF_FAILED(found);
    PyRef all = std::move(found).value();
    if (PyList_Append(all.get(), name) < 0)
        throw InternalFailure("could not append __name__ to __all__: " + fetch_error().describe());
    all = PyRef();
    if (PyObject_SetAttr(module, name, value) < 0) return Err{fetch_error()};
    return {};
}

// Adds a function or a type under its own __name__; takes over the reference to it.
Result<void, PythonError> add_named(PyObject* module, PyRef named) {
    PyRef name = PyRef::steal(PyObject_GetAttr(named.get(), name_name()));
    if (!name) return Err{fetch_error()};
    if (!PyUnicode_Check(name.get())) return Err{type_mismatch(name.get(), &PyUnicode_Type)};
    return add_attribute(module, name.get(), named.get());
}

}  // namespace

StatusResult add_functions(PyObject* module, std::span<PyMethodDef> table) {
    if (module == nullptr) return Err{fetch_error()};
    if (!PyModule_Check(module)) return Err{type_mismatch(module, &PyModule_Type)};

    for (PyMethodDef& definition : table) {
        PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
        if (!module_name) return Err{fetch_error()};
        PyRef function = PyRef::steal(PyCMethod_New(&definition, module, module_name.get(), nullptr));
        module_name = PyRef();
        if (!function) return Err{fetch_error()};
        if (StatusResult added = add_named(module, std::move(function)); !added) return added;
    }
    return {};
}

StatusResult add_type(PyObject* module, PyType_Spec& spec) {
    PyRef type = PyRef::steal(PyType_FromModuleAndSpec(module, &spec, nullptr));
    if (!type) return Err{fetch_error()};
    return add_named(module, std::move(type));
}

}  // namespace morvane::module
