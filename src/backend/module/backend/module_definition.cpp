// module_definition.cpp: the module _morvane_backend: its four functions, made from their rows of
// the operation catalogue. PyInit__morvane_backend is the library's only export.
#include "module/extension_module.hpp"
#include "module/operation_catalogue.hpp"

namespace morvane::module {
namespace {

auto function_table = BackendOperations::method_table<AsModuleFunction, Docstrings::omitted>();

struct Backend {
    static constexpr const char* name = "_morvane_backend";
    static constexpr bool main_interpreter_only = false;
    static StatusResult exec(PyObject* module) { return add_functions(module, function_table); }
};

}  // namespace
}  // namespace morvane::module

PyMODINIT_FUNC PyInit__morvane_backend() { return morvane::module::ExtensionModule<morvane::module::Backend>::init(); }
