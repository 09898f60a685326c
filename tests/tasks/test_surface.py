"""The module _morvane_tasks as the interpreter sees it: its names, function objects, text
signatures and definition. How its functions take their arguments is tested with every other
operation's (module/test_binding.py)."""

import ctypes

import morvane
import morvane._morvane_tasks as tasks

from module.test_module_surface import PY_MOD_EXEC, PY_MOD_GIL, PY_MOD_GIL_NOT_USED, ModuleDef, slot_table
from operations import TASKS, of_module

SIGNATURES = {operation.name: operation.signature for operation in of_module(TASKS)}


def test_module_surface():
    assert tasks.__all__ == [*SIGNATURES, "Scheduler"]
    assert morvane.Scheduler is tasks.Scheduler and "Scheduler" in morvane.__all__
    assert tasks.__doc__ == ""
    for name, signature in SIGNATURES.items():
        function = getattr(tasks, name)
        assert getattr(morvane, name) is function and name in morvane.__all__
        assert (function.__module__, function.__self__) == ("morvane._morvane_tasks", None)
        assert function.__doc__  # what help() shows: the stub's docstring (tests/stubs)
        assert function.__text_signature__ == signature

    init = ctypes.PyDLL(tasks.__file__).PyInit__morvane_tasks
    init.restype = ctypes.c_void_p
    definition = ModuleDef.from_address(init())
    assert (definition.m_name, definition.m_size, definition.m_methods) == (b"_morvane_tasks", 0, None)
    # Py_mod_multiple_interpreters (3): not supported (0); legacy subinterpreters are refused by exec.
    assert [(slot, value == PY_MOD_GIL_NOT_USED) for slot, value in slot_table(definition)][1:] == [
        (PY_MOD_GIL, True), (3, False), (0, False)]
    assert slot_table(definition)[2][1] in (0, None)
    assert slot_table(definition)[0][0] == PY_MOD_EXEC
