// extension_module.hpp: ExtensionModule, the definition for multi-phase initialisation that the
// package's extension modules share: their execution slot inside the call frame, their slots
// (no interpreter lock needed) and their PyModuleDef.
//
// A module's function table is not handed to the interpreter (m_methods is NULL): its execution
// slot makes the function objects itself, sets them as attributes and lists them in __all__, in
// table order, inside the call frame (add_functions).
#pragma once

#include "module/call_frame.hpp"
#include "module/module_functions.hpp"

namespace morvane::module {

// Module names the module (name, a literal) and makes its contents (exec(module)); when
// main_interpreter_only, isolated subinterpreters are refused by the import system.
template <class Module>
struct ExtensionModule {
    static int exec(PyObject* module) noexcept {
        return call_frame_status([module] { return Module::exec(module); });
    }

    static inline PyModuleDef_Slot slots[] = {
        {Py_mod_exec, reinterpret_cast<void*>(exec)},
        {Py_mod_gil, Py_MOD_GIL_NOT_USED},
        // Only for a module kept to the main interpreter; for the others this entry is a second
        // sentinel, which ends the list where it stands.
        {Module::main_interpreter_only ? Py_mod_multiple_interpreters : 0,
         Module::main_interpreter_only ? Py_MOD_MULTIPLE_INTERPRETERS_NOT_SUPPORTED : nullptr},
        {0, nullptr},  // sentinel
    };

    static inline PyModuleDef definition = {
        .m_base = PyModuleDef_HEAD_INIT,
        .m_name = Module::name,
        .m_doc = "",
        .m_size = 0,
        .m_methods = nullptr,
        .m_slots = slots,
        .m_traverse = nullptr,
        .m_clear = nullptr,
        .m_free = nullptr,
    };

    // What PyInit_<name> returns.
    static PyObject* init() noexcept { return PyModuleDef_Init(&definition); }
};

}  // namespace morvane::module
