"""Every platform call that a successful call of each function makes, made to fail in turn: the
failure reaches Python with the right class, code and label, and nothing is left held. A listing
is the exception: a task whose state cannot be read is listed as unknown, with the code.

The (function, call, occurrence) triples come from the journal of a successful call, so a call
added to a path is swept without touching this file; one that this file cannot classify fails
the test until it says how that call fails."""

import sys
import tempfile

import pytest

import morvane
from morvane import TaskPermissionError, TaskSchedulerError, emulator

from module.task_xml import TASK_XML
from operations import DAILY, OPERATIONS

# Each test here drives the emulator (faults, journals, its task library, its runs), and the
# sweep's rows are found with it at collection.
pytestmark = pytest.mark.emulator
if sys.platform == "win32":
    pytest.skip("the sweep injects faults through the emulator, which stands in for Windows only elsewhere",
                allow_module_level=True)

# A task with run times, in the root folder and in a subfolder, so that every call is made.
SWEPT_XML = DAILY

ACCESS_DENIED = 0x80070005
FAILED = 0x80004005
OUT_OF_MEMORY_PANIC = ("called `Result::unwrap()` on an `Err` value: Error { code: HRESULT(0x8007000E), "
                       'message: "Not enough memory resources are available to complete this operation." }')

# How each platform call on the success paths fails: it returns an HRESULT, it is an allocator
# (null, which the client treats as impossible), or it has no failure to inject.
RETURNS_HRESULT = {"CoInitializeEx", "CoCreateInstance", "Connect", "GetFolder", "GetTask", "DeleteTask",
                   "RegisterTask", "RunEx", "GetTasks", "GetFolders", "get_Count", "get_Item", "get_Path",
                   "get_Name", "get_Xml", "put_Enabled", "Stop", "GetRunTimes", "CreateFolder", "DeleteFolder",
                   "GetInstances", "GetRunningTasks", "get_InstanceGuid", "get_CurrentAction", "get_EnginePID",
                   "Refresh", "GetSecurityDescriptor", "SetSecurityDescriptor"}
# A task's state in a listing: a failing read lists the task as unknown instead of failing.
STATE_READS = {"get_State", "get_Enabled", "get_LastRunTime", "get_LastTaskResult", "get_NextRunTime",
               "get_NumberOfMissedRuns"}
ALLOCATOR = {"SysAllocStringLen", "SafeArrayCreateVector"}
# The array's data access cannot fail on an array just made; VariantClear of an unlocked one neither.
CANNOT_FAIL = {"SysStringLen", "SysFreeString", "Release", "CoUninitialize", "CoTaskMemFree", "SafeArrayAccessData",
               "SafeArrayUnaccessData", "VariantClear"}

CALLS = {operation.name: (lambda operation=operation: operation.call(morvane, "Sweep")) for operation in OPERATIONS}


def register_swept_tasks():
    morvane.register_xml("Sweep", SWEPT_XML)
    morvane.register_xml("Folder\\Sweep", SWEPT_XML)


def journal_of_success(function):
    register_swept_tasks()
    emulator.wait_runs()  # a run that an earlier call started has ended: it is no instance to list here
    with emulator.journal() as records:
        CALLS[function]()
    return [record.call for record in records]


def sweep_rows():
    """(function, call, occurrence) for every injectable call that a successful call makes."""
    previous = emulator.task_library()
    rows = []
    try:
        # Each function in a library of its own, as each test gets: what one leaves (a folder)
        # would change the calls of the next.
        for function in CALLS:
            with tempfile.TemporaryDirectory() as library:
                emulator.set_task_library(library)
                seen = {}
                for call in journal_of_success(function):
                    occurrence = seen[call] = seen.get(call, -1) + 1
                    rows.append((function, call, occurrence))
        return rows
    finally:
        emulator.set_task_library(previous)


ROWS = sweep_rows()
INJECTABLE = [row for row in ROWS if row[1] not in CANNOT_FAIL]


def test_every_call_on_a_success_path_is_classified():
    assert {call for _, call, _ in ROWS} <= RETURNS_HRESULT | STATE_READS | ALLOCATOR | CANNOT_FAIL
    # Each function reaches its own scheduler calls, so the sweep covers more than the opening.
    assert {(operation.name, call) for operation in OPERATIONS for call in operation.service_calls} <= {
        (function, call) for function, call, _ in ROWS}


@pytest.mark.parametrize("call", sorted(CANNOT_FAIL))
def test_calls_classified_as_unfailing_take_no_fault(call):
    emulator.fail_next(call, FAILED)
    morvane.register_xml("Sweep", TASK_XML)
    morvane.run_task("Sweep")
    assert emulator.pending_faults() == 1


@pytest.mark.parametrize("function, call, occurrence", INJECTABLE,
                         ids=[f"{function}-{call}-{occurrence}" for function, call, occurrence in INJECTABLE])
@pytest.mark.parametrize("code", [ACCESS_DENIED, FAILED], ids=["denied", "failed"])
def test_a_fault_at_each_call_reaches_python_whole(function, call, occurrence, code):
    register_swept_tasks()
    emulator.fail_next(call, code, after=occurrence)

    if function == "list_tasks" and call in STATE_READS:
        unknown = [info for info in CALLS[function]() if info.state == morvane.TaskState.UNKNOWN]
        assert [(info.last_task_result, info.enabled, info.last_run_time) for info in unknown] == [(code, False, None)]
        return
    with pytest.raises(BaseException) as raised:
        CALLS[function]()

    error = raised.value
    if call in ALLOCATOR:  # any fault makes an allocator return null: an internal failure
        assert (type(error).__name__, str(error)) == ("PanicException", OUT_OF_MEMORY_PANIC)
    else:
        assert type(error) is (TaskPermissionError if code == ACCESS_DENIED else TaskSchedulerError)
        assert (error.hresult, error.operation) == (code, call)
        assert str(error) == f"{call} failed: {error.message}" and error.message.endswith(f"(0x{code:08X})")
    assert emulator.pending_faults() == 0
    assert emulator.outstanding() == {"objects": 0, "bstrs": 0, "apartments": 0, "buffers": 0, "libraries": 0, "mta_usages": 0}
    assert emulator.violations() == []
    # The service is whole again: the same call now succeeds.
    register_swept_tasks()
    CALLS[function]()
