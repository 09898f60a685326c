// module_definition.cpp: the module _morvane_backend: its function table, its execution slot and
// its definition for multi-phase initialisation. PyInit__morvane_backend is the library's only
// export.
//
// The function table is not handed to the interpreter (m_methods is NULL): the execution slot
// makes the four function objects itself, sets them as attributes and lists them in __all__, in
// table order, inside the call frame (add_functions).
#include "module/call_frame.hpp"
#include "module/function_entry.hpp"
#include "module/module_functions.hpp"
#include "module/task_operation_bodies.hpp"

namespace morvane::module {
namespace {

PyMethodDef function_table[] = {
    {"register_xml", as_method(function_entry<RegisterXml>), kFunctionFlags, "register_xml(task_name, xml_data)\n--\n\n"},
    {"delete_task", as_method(function_entry<DeleteTask>), kFunctionFlags, "delete_task(task_name)\n--\n\n"},
    {"run_task", as_method(function_entry<RunTask>), kFunctionFlags, "run_task(task_name)\n--\n\n"},
    {"task_exists", as_method(function_entry<TaskExists>), kFunctionFlags, "task_exists(task_name)\n--\n\n"},
};

StatusResult exec_body(PyObject* module) { return add_functions(module, function_table); }

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
