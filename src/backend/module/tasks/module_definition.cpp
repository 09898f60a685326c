// module_definition.cpp: the module _morvane_tasks: its functions, made from their rows of the
// operation catalogue, and the type Scheduler added after them. PyInit__morvane_tasks is the
// library's only export.
#include "module/extension_module.hpp"
#include "module/operation_catalogue.hpp"
#include "module/scheduler_type.hpp"

namespace morvane::module {
namespace {

auto function_table = TaskOperations::method_table<AsModuleFunction, Docstrings::shown>();

/* The classes this module hands out (TaskInfo, TaskState's members, datetime's C API) are looked
 * up once per process and kept for its life: they belong to the interpreter that looked them up.
 * In another interpreter they would be that one's objects, and dead once it is destroyed; so the
 * module loads in the main interpreter only, and a subinterpreter gets an ImportError that says
 * so. Isolated subinterpreters are refused by the import system itself (main_interpreter_only); a
 * legacy one (shared interpreter lock) is refused here. */
StatusResult refuse_subinterpreter() {
    if (PyInterpreterState_Get() == PyInterpreterState_Main()) return {};
    return Err{PythonError::with_message(PyExc_ImportError,
                                         "_morvane_tasks can only be loaded in the main interpreter, "
                                         "not in a subinterpreter")};
}

struct Tasks {
    static constexpr const char* name = "_morvane_tasks";
    static constexpr bool main_interpreter_only = true;
    static StatusResult exec(PyObject* module) {
        MORVANE_RETURN_IF_FAILED(refuse_subinterpreter());
        MORVANE_RETURN_IF_FAILED(add_functions(module, function_table));
        return add_type(module, scheduler_type_spec());
    }
};

}  // namespace
}  // namespace morvane::module

PyMODINIT_FUNC PyInit__morvane_tasks() { return morvane::module::ExtensionModule<morvane::module::Tasks>::init(); }
