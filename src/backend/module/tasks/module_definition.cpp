// module_definition.cpp: the module _morvane_tasks: its function table, its execution slot and
// its definition for multi-phase initialisation. PyInit__morvane_tasks is the library's only
// export. Made as _morvane_backend is (see module/backend/module_definition.cpp), with the type
// Scheduler added after the functions.
#include "module/call_frame.hpp"
#include "module/module_functions.hpp"
#include "module/function_entry.hpp"
#include "module/tasks/operation_docs.hpp"
#include "module/tasks/scheduler_type.hpp"
#include "module/tasks/task_function_bodies.hpp"

namespace morvane::module {
namespace {

// The text signatures and docstrings, joined once at compile time.
constexpr auto kListTasksDoc =
    docs::join("list_tasks(folder='\\\\', *, recursive=False, hidden=False)\n--\n\n", docs::kListTasks);
constexpr auto kTaskInfoDoc = docs::join("task_info(task_name)\n--\n\n", docs::kTaskInfo);
constexpr auto kTaskXmlDoc = docs::join("task_xml(task_name)\n--\n\n", docs::kTaskXml);
constexpr auto kEnableTaskDoc = docs::join("enable_task(task_name)\n--\n\n", docs::kEnableTask);
constexpr auto kDisableTaskDoc = docs::join("disable_task(task_name)\n--\n\n", docs::kDisableTask);
constexpr auto kStopTaskDoc = docs::join("stop_task(task_name)\n--\n\n", docs::kStopTask);
constexpr auto kRunTimesDoc =
    docs::join("run_times(task_name, start, end, *, max_count=None)\n--\n\n", docs::kRunTimes);

PyMethodDef function_table[] = {
    {"list_tasks", as_method(function_entry<ListTasks>), kFunctionFlags, kListTasksDoc.data()},
    {"task_info", as_method(function_entry<TaskInfo>), kFunctionFlags, kTaskInfoDoc.data()},
    {"task_xml", as_method(function_entry<TaskXml>), kFunctionFlags, kTaskXmlDoc.data()},
    {"enable_task", as_method(function_entry<EnableTask>), kFunctionFlags, kEnableTaskDoc.data()},
    {"disable_task", as_method(function_entry<DisableTask>), kFunctionFlags, kDisableTaskDoc.data()},
    {"stop_task", as_method(function_entry<StopTask>), kFunctionFlags, kStopTaskDoc.data()},
    {"run_times", as_method(function_entry<RunTimes>), kFunctionFlags, kRunTimesDoc.data()},
};

/* The classes this module hands out (TaskInfo, TaskState's members, datetime's C API) are looked
 * up once per process and kept for its life: they belong to the interpreter that looked them up.
 * In another interpreter they would be that one's objects, and dead once it is destroyed; so the
 * module loads in the main interpreter only, and a subinterpreter gets an ImportError that says
 * so. Isolated subinterpreters are refused by the import system itself (the slot below); a legacy
 * one (shared interpreter lock) is refused here. */
StatusResult refuse_subinterpreter() {
    if (PyInterpreterState_Get() == PyInterpreterState_Main()) return {};
    return Err{PythonError::with_message(PyExc_ImportError,
                                         "_morvane_tasks can only be loaded in the main interpreter, "
                                         "not in a subinterpreter")};
}

StatusResult exec_body(PyObject* module) {
    if (StatusResult main_only = refuse_subinterpreter(); !main_only) return main_only;
    if (StatusResult added = add_functions(module, function_table); !added) return added;
    return add_type(module, scheduler_type_spec());
}

int module_exec(PyObject* module) noexcept {
    return call_frame_status([module] { return exec_body(module); });
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {Py_mod_gil, Py_MOD_GIL_NOT_USED},
    {Py_mod_multiple_interpreters, Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED},
    {0, nullptr},  // sentinel
};

PyModuleDef module_definition = {
    .m_base = PyModuleDef_HEAD_INIT,
    .m_name = "_morvane_tasks",
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

PyMODINIT_FUNC PyInit__morvane_tasks() { return PyModuleDef_Init(&morvane::module::module_definition); }
