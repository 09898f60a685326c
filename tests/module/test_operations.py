"""The four functions against the emulated scheduler: their results, and every failure of a
platform call on their way reaching Python as the package's exception, message, code and label
intact."""

import pytest

import morvane
from morvane import TaskPermissionError, TaskSchedulerError, emulator

from .task_xml import TASK_XML

ACCESS_DENIED = 0x80070005
OUT_OF_MEMORY = 0x8007000E
SERVER_UNAVAILABLE = 0x800706BA
FAILED = 0x80004005
NO_OBJECT = 0  # the call reports success but hands back no object


@pytest.mark.emulator
def test_results_are_the_interpreters_singletons():
    assert morvane.task_exists("Backup") is False
    assert morvane.register_xml("Backup", TASK_XML) is None
    assert morvane.task_exists("Backup") is True
    assert morvane.task_exists("BACKUP") is True
    assert morvane.run_task("Backup") is None
    assert len(emulator.runs("Backup")) == 1
    assert morvane.register_xml("Backup", TASK_XML) is None  # replaces
    assert morvane.delete_task("Backup") is None
    assert morvane.task_exists("Backup") is False


def test_a_missing_folder_is_an_answer_too():
    assert morvane.task_exists("No\\Such\\Task") is False


@pytest.mark.parametrize(
    "call, code, label",
    [
        (lambda: morvane.run_task("Missing"), 0x80070002, "GetTask"),
        (lambda: morvane.delete_task("Missing"), 0x80070002, "DeleteTask"),
        (lambda: morvane.register_xml("Bad", "<Task/>"), None, "RegisterTask"),
        (lambda: morvane.register_xml("Bad", "not xml"), None, "RegisterTask"),
        (lambda: morvane.register_xml("Bad", TASK_XML.replace("<Task ", "<Task\0")), None, "RegisterTask"),
        (lambda: morvane.task_exists("a/b"), None, "GetTask"),
    ],
)
def test_the_services_own_refusals(call, code, label):
    with pytest.raises(TaskSchedulerError) as raised:
        call()
    error = raised.value
    assert type(error) is TaskSchedulerError
    assert error.operation == label
    assert error.args == (error.message, error.hresult, error.operation)
    assert error.hresult >= 0x80000000
    if code is not None:
        assert error.hresult == code
    assert error.message.endswith(f"({error.hresult:#010X})".replace("0X", "0x"))


OPENING = [
    ("CoInitializeEx", OUT_OF_MEMORY),
    ("CoCreateInstance", ACCESS_DENIED),
    ("CoCreateInstance", NO_OBJECT),
    ("Connect", SERVER_UNAVAILABLE),
    ("GetFolder", FAILED),
    ("GetFolder", NO_OBJECT),
]
OWN_CALLS = [
    ("run_task", "GetTask", ACCESS_DENIED),
    ("run_task", "GetTask", NO_OBJECT),
    ("run_task", "RunEx", FAILED),
    ("run_task", "RunEx", NO_OBJECT),
    ("delete_task", "DeleteTask", ACCESS_DENIED),
    ("task_exists", "GetTask", ACCESS_DENIED),
    ("task_exists", "GetTask", NO_OBJECT),
    ("task_exists", "GetTask", FAILED),
    ("register_xml", "RegisterTask", ACCESS_DENIED),
    ("register_xml", "RegisterTask", NO_OBJECT),
    ("register_xml", "RegisterTask", 0x80070006),  # an access-like code that is not access denied
]
SWEEP = [(function, call, fault) for function in ("run_task", "delete_task", "task_exists", "register_xml")
         for call, fault in OPENING] + OWN_CALLS


def call_function(function):
    if function == "register_xml":
        return morvane.register_xml("Sweep", TASK_XML)
    return getattr(morvane, function)("Sweep")


@pytest.mark.emulator
@pytest.mark.parametrize("function, call, fault", SWEEP, ids=[f"{f}-{c}-{x:#x}" for f, c, x in SWEEP])
@pytest.mark.parametrize("described", [True, False], ids=["described", "plain"])
def test_a_failing_platform_call_reaches_python_whole(function, call, fault, described):
    morvane.register_xml("Sweep", TASK_XML)  # run_task and delete_task reach their own calls
    # A call that hands back no object is not asked for error information, so none is left for it.
    emulator.fail_next(call, fault, description="injected detail" if described and fault else None)

    with pytest.raises(TaskSchedulerError) as raised:
        call_function(function)

    error = raised.value
    assert type(error) is (TaskPermissionError if fault == ACCESS_DENIED else TaskSchedulerError)
    assert error.args == (error.message, fault, call)
    if fault == NO_OBJECT:  # no error information is read for a missing object
        assert error.message == "The operation completed successfully. (0x00000000)"
    elif described:
        assert error.message == f"injected detail (0x{fault:08X})"
    else:
        assert error.message.endswith(f" (0x{fault:08X})") and len(error.message) > 13
    assert str(error) == f"{call} failed: {error.message}"
    assert emulator.pending_faults() == 0
