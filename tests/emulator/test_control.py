"""The emulator's control surface as Python tests and users see it."""

import ctypes
import os
import pathlib
import subprocess
import sys
import threading

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

import morvane  # noqa: E402
from morvane import emulator  # noqa: E402

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

S_OK, S_FALSE = 0, 1
RPC_E_CHANGED_MODE = 0x80010106
E_UNEXPECTED = 0x8000FFFF
E_ACCESSDENIED = 0x80070005


def test_each_test_gets_its_own_task_library(fresh_task_library):
    assert emulator.task_library() == fresh_task_library


@settings(max_examples=50, deadline=None)
# Lone surrogates are left out: like every os function, fsencode refuses them.
@given(st.text(st.characters(exclude_characters="\0", exclude_categories=["Cs"]), min_size=1))
def test_any_path_round_trips(name):
    # Paths are handed over as the file system's bytes, so any name comes back as it went in,
    # made absolute.
    emulator.set_task_library(name)
    assert emulator.task_library() == pathlib.Path(os.path.abspath(name))


def default_library(tmp_path, **environment):
    """The task library a fresh process picks from its environment."""
    env = {key: value for key, value in os.environ.items()
           if key not in ("MORVANE_TASK_LIBRARY", "XDG_STATE_HOME")}
    env["HOME"] = str(tmp_path / "home")
    env.update(environment)
    output = subprocess.run(
        [sys.executable, "-m", "morvane.emulator", "where"],
        env=env, capture_output=True, text=True, check=True,
    ).stdout
    return output.strip()


def test_default_task_library_follows_the_environment(tmp_path):
    assert default_library(tmp_path) == str(tmp_path / "home/.local/state/morvane/tasks")
    assert default_library(tmp_path, XDG_STATE_HOME=str(tmp_path / "state")) == str(
        tmp_path / "state/morvane/tasks")
    assert default_library(
        tmp_path, XDG_STATE_HOME=str(tmp_path / "state"), MORVANE_TASK_LIBRARY=str(tmp_path / "mine")
    ) == str(tmp_path / "mine")


def test_apartments_are_counted_as_com_counts_them():
    assert emulator.enter_apartment(multithreaded=True) == S_OK
    assert emulator.enter_apartment(multithreaded=True) == S_FALSE
    assert emulator.enter_apartment(multithreaded=False) == RPC_E_CHANGED_MODE
    assert emulator.outstanding()["apartments"] == 2
    emulator.leave_apartment()
    emulator.leave_apartment()
    assert emulator.outstanding() == {"objects": 0, "bstrs": 0, "apartments": 0, "buffers": 0, "libraries": 0, "mta_usages": 0}


def test_a_thread_that_ends_inside_an_apartment_has_it_left_by_the_time_it_is_joined():
    # What lets a test hand threads their own apartments and still find nothing held afterwards.
    answers = []
    worker = threading.Thread(target=lambda: answers.append(emulator.enter_apartment(multithreaded=False)))
    worker.start()
    worker.join()
    assert answers == [S_OK]
    assert emulator.outstanding()["apartments"] == 0


@pytest.fixture
def co_initialize():
    """winemu's own CoInitializeEx, called as the platform function it is (faults apply to it,
    unlike enter_apartment), with every entry it made left again afterwards."""
    function = emulator._winemu.CoInitializeEx
    function.restype, function.argtypes = ctypes.c_int32, [ctypes.c_void_p, ctypes.c_uint32]

    test_thread = threading.get_ident()
    entered = 0  # successful entries of the test's own thread; a worker's go when it ends

    def enter():
        nonlocal entered
        hresult = function(None, 0) & 0xFFFFFFFF
        if hresult < 0x80000000 and threading.get_ident() == test_thread:
            entered += 1
        return hresult

    yield enter
    for _ in range(entered):
        emulator.leave_apartment()


def test_faults_reach_the_platform_call_as_queued(co_initialize):
    # Order, delay, threads and clearing are the fault queue's own (the native Faults suite); here:
    # the arguments arrive as given (a signed code, after=) and clear_faults reaches the queue.
    emulator.fail_next("CoInitializeEx", E_UNEXPECTED, after=1)
    emulator.fail_next("CoInitializeEx", -2147024891)  # E_ACCESSDENIED given signed
    assert [co_initialize() for _ in range(3)] == [S_OK, E_UNEXPECTED, E_ACCESSDENIED]
    emulator.fail_next("CoInitializeEx", E_UNEXPECTED)
    emulator.fail_next("GetTask", E_UNEXPECTED)
    assert emulator.pending_faults() == 2
    emulator.clear_faults()
    assert emulator.pending_faults() == 0
    assert co_initialize() == S_FALSE


def test_control_calls_are_not_platform_calls():
    # enter_apartment sets up a test's thread; a fault queued for the platform call stays queued.
    emulator.fail_next("CoInitializeEx", E_UNEXPECTED)
    assert emulator.enter_apartment(multithreaded=True) == S_OK
    emulator.leave_apartment()


def fault(call="GetTask", hresult=E_UNEXPECTED, **keywords):
    return lambda: emulator.fail_next(call, hresult, **keywords)


# (what, the call, what it raises): refused before anything is queued or changed.
REFUSED = [
    ("library-empty", lambda: emulator.set_task_library(""), ValueError),
    ("library-nul", lambda: emulator.set_task_library("a\0b"), ValueError),
    ("fault-call-empty", fault(""), ValueError),
    ("fault-call-nul", fault("Get\0Task"), ValueError),
    ("fault-call-None", fault(None), TypeError),
    ("fault-call-bytes", fault(b"GetTask"), TypeError),
    ("fault-call-not-ascii", fault("G\u00e9tTask"), ValueError),
    ("fault-code-too-big", fault(hresult=2**32), ValueError),
    ("fault-code-too-small", fault(hresult=-(2**31) - 1), ValueError),
    ("fault-code-float", fault(hresult=1.5), TypeError),
    ("fault-after-negative", fault(after=-1), ValueError),
    ("fault-after-str", fault(after="1"), TypeError),
    ("fault-description-bytes", fault(description=b"bytes"), TypeError),
    ("fault-description-nul", fault(description="a\0b"), ValueError),
    ("fault-plain-description-int", fault(plain_description=7), TypeError),
    ("latency-negative", lambda: emulator.set_latency(-1), ValueError),
    ("latency-nan", lambda: emulator.set_latency(float("nan")), ValueError),
    ("latency-str", lambda: emulator.set_latency("1"), TypeError),
    ("disconnect-too-big", lambda: emulator.disconnect_service(2**32), ValueError),
    ("disconnect-too-small", lambda: emulator.disconnect_service(-(2**31) - 1), ValueError),
    ("disconnect-str", lambda: emulator.disconnect_service("0x80010108"), TypeError),
    *[(f"runs-{name!r}", lambda name=name: emulator.runs(name), ValueError) for name in ["a:b", "..", "a/b", "a\0b"]],
    ("runs-bytes", lambda: emulator.runs(b"bytes"), TypeError),
]


@pytest.mark.parametrize("what, call, error", REFUSED, ids=[what for what, *_ in REFUSED])
def test_malformed_arguments_are_refused_before_anything_is_queued(what, call, error):
    with pytest.raises(error):
        call()
    assert emulator.pending_faults() == 0


@pytest.mark.parametrize("keyword", ["description", "plain_description"])
def test_a_fault_leaves_its_error_object_on_the_failing_thread_until_that_thread_ends(co_initialize, keyword):
    emulator.fail_next("CoInitializeEx", E_ACCESSDENIED, **{keyword: "refus\u00e9"})
    seen = []

    def fail_once():
        seen.append((co_initialize(), emulator.outstanding()["objects"]))

    worker = threading.Thread(target=fail_once)
    worker.start()
    worker.join()
    assert seen == [(E_ACCESSDENIED, 1)]
    assert emulator.outstanding()["objects"] == 0


@pytest.mark.parametrize("hresult", [0x800706BA, -2147417848])
def test_a_call_after_the_service_went_away_connects_afresh(hresult):
    emulator.disconnect_service(hresult)
    emulator.disconnect_service()
    assert morvane.task_exists("Missing") is False


def test_a_task_that_never_ran_has_no_records():
    assert emulator.runs("Never run") == []
    assert emulator.runs(r"\Folder\Never run") == []


_NOTHING_TO_START = (
    '<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
    "<Actions><Exec><Command>/nonexistent/program</Command></Exec></Actions></Task>"
)


@pytest.mark.parametrize("damage", [
    b'{"time": 1.0, "argv": [broken}\n',                                  # no JSON
    b'{"time": 1.0, "argv": ["a"], "pid": "1", "error": null}\n',         # JSON of another shape
    b'{"time": 1.0, "argv": ["a"], "pid": 1}\n',                          # a field missing
])
def test_damaged_records_give_an_error_naming_the_task(fresh_task_library, damage):
    morvane.register_xml("Damaged Records", _NOTHING_TO_START)
    morvane.run_task("Damaged Records")
    assert len(emulator.runs("Damaged Records")) == 1
    with open(fresh_task_library / "r.DAMAGED~20RECORDS", "ab") as records:
        records.write(damage)
    with pytest.raises(ValueError, match="start records of task 'Damaged Records' are damaged"):
        emulator.runs("Damaged Records")


def test_command_line_prints_the_task_library(tmp_path):
    env = dict(os.environ, MORVANE_TASK_LIBRARY=str(tmp_path / "cli"))
    output = subprocess.run([sys.executable, "-m", "morvane.emulator"], env=env,
                            capture_output=True, text=True, check=True).stdout
    assert output == f"{tmp_path / 'cli'}\n"
