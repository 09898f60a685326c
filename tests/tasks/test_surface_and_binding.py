"""The module _morvane_tasks as the interpreter sees it, and how its functions take their
arguments: the binder's messages and notes, and the checks of flags, times and counts, none of
which reaches the scheduler."""

import ctypes
import datetime
import shutil
import subprocess

import pytest

import morvane
import morvane._morvane_tasks as tasks
from morvane import emulator

from module.test_module_surface import PY_MOD_EXEC, PY_MOD_GIL, PY_MOD_GIL_NOT_USED, ModuleDef, slot_table

SIGNATURES = {
    "list_tasks": "(folder='\\\\', *, recursive=False, hidden=False)",
    "task_info": "(task_name)",
    "task_xml": "(task_name)",
    "enable_task": "(task_name)",
    "disable_task": "(task_name)",
    "stop_task": "(task_name)",
    "run_times": "(task_name, start, end, *, max_count=None)",
}


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


@pytest.mark.skipif(shutil.which("nm") is None, reason="needs nm from binutils")
def test_the_library_exports_only_its_init_function():
    listing = subprocess.run(["nm", "-D", "--defined-only", tasks.__file__], capture_output=True, text=True,
                             check=True).stdout
    assert [line.split()[-1] for line in listing.splitlines() if line.strip()] == ["PyInit__morvane_tasks"]


NOW = datetime.datetime(2026, 1, 5, 12, 0, tzinfo=datetime.timezone.utc)
NAIVE = datetime.datetime(2026, 1, 5, 12, 0)


def note(parameter):
    return [f"while processing '{parameter}'"]


@pytest.mark.emulator
@pytest.mark.parametrize(
    "call, error, message, notes",
    [
        # the binder: the same messages as the four functions, form 2 of "too many" where a
        # parameter has a default, keyword-only parameters matched by keyword alone
        (lambda: morvane.task_info(), TypeError, "task_info() missing 1 required positional argument: 'task_name'",
         None),
        (lambda: morvane.stop_task("a", "b"), TypeError, "stop_task() takes 1 positional arguments but 2 were given",
         None),
        (lambda: morvane.list_tasks("\\", True), TypeError,
         "list_tasks() takes from 0 to 1 positional arguments but 2 were given", None),
        (lambda: morvane.list_tasks(Recursive=True), TypeError,
         "list_tasks() got an unexpected keyword argument 'Recursive'", None),
        (lambda: morvane.list_tasks("\\", folder="\\"), TypeError,
         "list_tasks() got multiple values for argument 'folder'", None),
        (lambda: morvane.run_times("a", NOW), TypeError,
         "run_times() missing 1 required positional argument: 'end'", None),
        (lambda: morvane.run_times("a", NOW, NOW, 5), TypeError,
         "run_times() takes 3 positional arguments but 4 were given", None),
        (lambda: morvane.run_times("a", NOW, NOW, count=5), TypeError,
         "run_times() got an unexpected keyword argument 'count'", None),
        # conversions, each with the note naming its parameter, in parameter order
        (lambda: morvane.enable_task(5), TypeError, "'int' object is not an instance of 'str'", note("task_name")),
        (lambda: morvane.disable_task("a\0b"), ValueError, "embedded null character", note("task_name")),
        (lambda: morvane.list_tasks(b"\\"), TypeError, "'bytes' object is not an instance of 'str'", note("folder")),
        (lambda: morvane.list_tasks(recursive=1), TypeError, "'int' object is not an instance of 'bool'",
         note("recursive")),
        (lambda: morvane.list_tasks(recursive=True, hidden=None), TypeError, "'None' is not an instance of 'bool'",
         note("hidden")),
        (lambda: morvane.run_times(1, "x", NOW), TypeError, "'int' object is not an instance of 'str'",
         note("task_name")),
        (lambda: morvane.run_times("a", "2026-01-05", NOW), TypeError,
         "'str' object is not an instance of 'datetime'", note("start")),
        (lambda: morvane.run_times("a", NOW.date(), NOW), TypeError,
         "'date' object is not an instance of 'datetime'", note("start")),
        (lambda: morvane.run_times("a", NAIVE, NOW), TypeError,
         "start is a naive datetime: pass an aware one (with a tzinfo), such as datetime.now().astimezone()",
         note("start")),
        (lambda: morvane.run_times("a", NOW, NAIVE), TypeError,
         "end is a naive datetime: pass an aware one (with a tzinfo), such as datetime.now().astimezone()",
         note("end")),
        (lambda: morvane.run_times("a", NOW, NOW, max_count="1"), TypeError,
         "'str' object is not an instance of 'int'", note("max_count")),
        (lambda: morvane.run_times("a", NOW, NOW, max_count=0), ValueError, "max_count must be at least 1",
         note("max_count")),
        (lambda: morvane.run_times("a", NOW, NOW, max_count=-2**70), ValueError, "max_count must be at least 1",
         note("max_count")),
        # the period itself: compared as instants, whatever the zones
        (lambda: morvane.run_times("a", NOW, NOW - datetime.timedelta(seconds=1)), ValueError,
         "end is before start", None),
        (lambda: morvane.run_times("a", NOW, NOW.astimezone(datetime.timezone(datetime.timedelta(hours=5)))
                                   - datetime.timedelta(microseconds=1)), ValueError, "end is before start", None),
    ],
)
def test_malformed_calls_are_refused_before_the_scheduler(call, error, message, notes):
    with emulator.journal() as records:
        with pytest.raises(BaseException) as raised:
            call()
    assert (type(raised.value), str(raised.value), getattr(raised.value, "__notes__", None)) == (error, message, notes)
    assert records == []


def test_a_tzinfo_that_gives_no_offset_is_naive():
    class NoOffset(datetime.tzinfo):
        def utcoffset(self, moment):
            return None

    with pytest.raises(TypeError, match="start is a naive datetime"):
        morvane.run_times("a", NAIVE.replace(tzinfo=NoOffset()), NOW)
