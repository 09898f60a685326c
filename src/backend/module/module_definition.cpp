// module_definition.cpp: the module _morvane_backend: its function table, its execution slot and
// its definition for multi-phase initialisation. PyInit__morvane_backend is the library's only
// export.
//
// The function table is not handed to the interpreter (m_methods is NULL): the execution slot
// makes the four function objects itself, sets them as attributes and lists them in __all__, in
// table order, inside the call frame.
#include "module/call_frame.hpp"
#include "module/function_bodies.hpp"
#include "module/interned_names.hpp"
#include "module/type_mismatch.hpp"

namespace morvane::module {
namespace {

// METH_STATIC: the interpreter passes NULL as self and reports __self__ as None. Each doc is only
// a text signature, so __text_signature__ is set and __doc__ is None.
constexpr int kFlags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

PyMethodDef function_table[] = {
    {"register_xml", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(register_xml_entry)), kFlags,
     "register_xml(task_name, xml_data)\n--\n\n"},
    {"delete_task", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(delete_task_entry)), kFlags,
     "delete_task(task_name)\n--\n\n"},
    {"run_task", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(run_task_entry)), kFlags,
     "run_task(task_name)\n--\n\n"},
    {"task_exists", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(task_exists_entry)), kFlags,
     "task_exists(task_name)\n--\n\n"},
};

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
    if (!found) return Err{std::move(found).error()};
    PyRef all = std::move(found).value();
    if (PyList_Append(all.get(), name) < 0)
        throw InternalFailure("could not append __name__ to __all__: " + fetch_error().describe());
    all = PyRef();
    if (PyObject_SetAttr(module, name, value) < 0) return Err{fetch_error()};
    return {};
}

// Adds a function under its own __name__; takes over the reference to it.
Result<void, PythonError> add_function(PyObject* module, PyRef function) {
    PyRef name = PyRef::steal(PyObject_GetAttr(function.get(), name_name()));
    if (!name) return Err{fetch_error()};
    if (!PyUnicode_Check(name.get())) return Err{type_mismatch(name.get(), &PyUnicode_Type)};
    return add_attribute(module, name.get(), function.get());
}

StatusResult exec_body(PyObject* module) {
    if (module == nullptr) return Err{fetch_error()};
    if (!PyModule_Check(module)) return Err{type_mismatch(module, &PyModule_Type)};

    for (PyMethodDef& definition : function_table) {
        PyRef module_name = PyRef::steal(PyModule_GetNameObject(module));
        if (!module_name) return Err{fetch_error()};
        PyRef function = PyRef::steal(PyCMethod_New(&definition, module, module_name.get(), nullptr));
        module_name = PyRef();
        if (!function) return Err{fetch_error()};
        if (StatusResult added = add_function(module, std::move(function)); !added) return added;
    }
    return {};
}

int module_exec(PyObject* module) noexcept {
    return call_frame_status([module] { return exec_body(module); });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {0, nullptr},  // sentinel
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_morvane_backend",
    .m_doc = "",
    .m_size = 0,
    .m_methods = nullptr,
    .m_slots = module_slots,
    .m_traverse = nullptr,
    .m_clear = nullptr,
    .m_free = nullptr,
};

}  // namespace
}  // namespace morvane::module

PyMODINIT_FUNC PyInit__morvane_backend() { return PyModuleDef_Init(&morvane::module::module_definition); }
