"""The extension module as the interpreter sees it: its attributes and function objects, its
definition and execution slot (run again, on other module objects, on things that are not
modules), and the one symbol each extension's shared library exports."""

import ctypes
import importlib.util
import inspect
import shutil
import subprocess

import _imp
import pytest

import morvane
import morvane._morvane_backend as backend
import morvane._morvane_tasks as tasks

from operations import BACKEND, SPECIFIED

MODULE_NAME = BACKEND
NAMES = [operation.name for operation in SPECIFIED]
SIGNATURES = {operation.name: operation.signature for operation in SPECIFIED}

# Slot ids and the Py_mod_gil value from CPython's moduleobject.h.
PY_MOD_EXEC, PY_MOD_GIL, PY_MOD_GIL_NOT_USED = 2, 4, 1


class ModuleDef(ctypes.Structure):
    """PyModuleDef: the object header, PyModuleDef_Base's other fields, then the definition."""

    _fields_ = [
        ("header", ctypes.c_byte * object.__basicsize__),
        ("m_init", ctypes.c_void_p),
        ("m_index", ctypes.c_ssize_t),
        ("m_copy", ctypes.c_void_p),
        ("m_name", ctypes.c_char_p),
        ("m_doc", ctypes.c_char_p),
        ("m_size", ctypes.c_ssize_t),
        ("m_methods", ctypes.c_void_p),
        ("m_slots", ctypes.c_void_p),
        ("m_traverse", ctypes.c_void_p),
        ("m_clear", ctypes.c_void_p),
        ("m_free", ctypes.c_void_p),
    ]


class ModuleSlot(ctypes.Structure):
    _fields_ = [("slot", ctypes.c_int), ("value", ctypes.c_void_p)]


def module_definition():
    init = ctypes.PyDLL(backend.__file__).PyInit__morvane_backend
    init.argtypes = []
    # An address rather than py_object: ctypes would drop a reference it was never given.
    init.restype = ctypes.c_void_p
    address = init()
    return ctypes.cast(address, ctypes.py_object).value, ModuleDef.from_address(address)


def slot_table(definition):
    slots = []
    address = definition.m_slots
    while True:
        slot = ModuleSlot.from_address(address)
        slots.append((slot.slot, slot.value))
        if slot.slot == 0:
            return slots
        address += ctypes.sizeof(ModuleSlot)


def exec_slot():
    """The execution function, taking a raw pointer so that NULL can be passed too; called with
    the interpreter lock held, and whatever it leaves pending is raised."""
    _, definition = module_definition()
    (exec_address,) = [value for slot, value in slot_table(definition) if slot == PY_MOD_EXEC]
    return ctypes.PYFUNCTYPE(ctypes.c_int, ctypes.c_void_p)(exec_address)


def unexecuted_module():
    """A new module object for the extension, made but not yet executed, and its loader."""
    found = importlib.util.find_spec(MODULE_NAME)
    return found.loader, importlib.util.module_from_spec(found)


def fresh_module():
    loader, module = unexecuted_module()
    loader.exec_module(module)
    return module


def test_module_attributes():
    assert backend.__all__ == NAMES
    assert backend.__doc__ == ""
    assert not hasattr(backend, "PanicException")
    for name in NAMES:
        assert getattr(morvane, name) is getattr(backend, name)


@pytest.mark.parametrize("name", NAMES)
def test_function_objects_describe_themselves(name):
    function = getattr(backend, name)
    assert function.__name__ == function.__qualname__ == name
    assert function.__module__ == MODULE_NAME
    assert function.__self__ is None
    assert function.__text_signature__ == SIGNATURES[name]
    assert function.__doc__ is None
    parameters = inspect.signature(function).parameters.values()
    assert f"({', '.join(p.name for p in parameters)})" == SIGNATURES[name]
    assert {p.kind for p in parameters} == {inspect.Parameter.POSITIONAL_OR_KEYWORD}
    assert all(p.default is inspect.Parameter.empty for p in parameters)


def test_module_definition():
    definition_object, definition = module_definition()
    assert type(definition_object).__name__ == "moduledef"
    assert definition.m_name == b"_morvane_backend"
    assert definition.m_doc == b""
    assert definition.m_size == 0
    assert definition.m_methods is None
    slots = slot_table(definition)
    assert [slot for slot, _ in slots] == [PY_MOD_EXEC, PY_MOD_GIL, 0]
    assert slots[0][1] is not None
    assert slots[1][1] == PY_MOD_GIL_NOT_USED
    assert slots[2][1] is None


def test_a_second_module_object_has_functions_of_its_own():
    second = fresh_module()
    assert second is not backend
    assert second.__all__ == NAMES
    for name in NAMES:
        function = getattr(second, name)
        assert function is not getattr(backend, name)
        assert function.__module__ == MODULE_NAME and function.__self__ is None
    assert second.task_exists("x") is False


def test_running_the_exec_slot_again_makes_new_functions():
    # _imp.exec_dynamic skips a module that was executed once, so the slot is called directly.
    module = fresh_module()
    before = [getattr(module, name) for name in NAMES]

    assert exec_slot()(id(module)) == 0

    assert module.__all__ == NAMES + NAMES
    after = [getattr(module, name) for name in NAMES]
    assert all(new is not old for new, old in zip(after, before))
    assert module.task_exists("x") is False


def test_functions_take_the_module_name_at_exec_time():
    loader, module = unexecuted_module()
    module.__name__ = "renamed"
    loader.exec_module(module)
    assert {getattr(module, name).__module__ for name in NAMES} == {"renamed"}


@pytest.mark.parametrize(
    "argument, error, message",
    [
        (5, TypeError, "'int' object is not an instance of 'module'"),
        ("text", TypeError, "'str' object is not an instance of 'module'"),
        (None, TypeError, "'None' is not an instance of 'module'"),
        (ctypes.c_void_p(None), SystemError, "attempted to fetch exception but none was set"),
    ],
    ids=["int", "str", "None", "NULL"],
)
def test_exec_slot_refuses_what_is_not_a_module(argument, error, message):
    address = argument if isinstance(argument, ctypes.c_void_p) else id(argument)
    with pytest.raises(error) as raised:
        exec_slot()(address)
    assert type(raised.value) is error
    assert str(raised.value) == message


class ListSubclass(list):
    pass


def lookup_fails(name):
    raise RuntimeError(f"no {name} here")


@pytest.mark.parametrize(
    "prepare, error, message",
    [
        (lambda m: setattr(m, "__all__", ("a",)), TypeError, "'tuple' object is not an instance of 'list'"),
        (lambda m: setattr(m, "__all__", None), TypeError, "'None' is not an instance of 'list'"),
        # A module-level __getattr__ answers the lookup of a missing __all__.
        (lambda m: setattr(m, "__getattr__", lookup_fails), RuntimeError, "no __all__ here"),
    ],
    ids=["tuple", "None", "lookup-raises"],
)
def test_an_unusable_all_fails_the_exec_slot(prepare, error, message):
    _, module = unexecuted_module()
    prepare(module)
    with pytest.raises(error) as raised:
        _imp.exec_dynamic(module)
    assert type(raised.value) is error
    assert str(raised.value) == message
    assert not set(NAMES) & set(vars(module))


def test_an_existing_all_list_is_appended_to():
    _, module = unexecuted_module()
    existing = ListSubclass(["a"])
    module.__all__ = existing
    _imp.exec_dynamic(module)
    assert module.__all__ is existing
    assert existing == ["a", *NAMES]


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
@pytest.mark.parametrize("module", [backend, tasks], ids=lambda module: module.__name__)
def test_the_library_exports_only_its_init_function(module):
    listing = subprocess.run(
        ["nm", "-D", "--defined-only", module.__file__], capture_output=True, text=True, check=True
    ).stdout
    init = "PyInit_" + module.__name__.rpartition(".")[2]
    assert [line.split()[-1] for line in listing.splitlines() if line.strip()] == [init]
