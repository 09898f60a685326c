"""Run settings and the task state the emulated service keeps, as Windows documents them."""

import sys
import time

import pytest

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

import morvane  # noqa: E402
from morvane import emulator  # noqa: E402
from run_support import eventually, task_xml  # noqa: E402

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

HAS_NOT_RUN, RUNNING, TERMINATED = 0x41303, 0x41301, 0x41306


def policy(name: str) -> str:
    return f"<MultipleInstancesPolicy>{name}</MultipleInstancesPolicy>"


# (settings, how many times run_task is called, the states its records settle in, last result)
SETTINGS = [
    pytest.param("<Enabled>false</Enabled>", 1, [], HAS_NOT_RUN, id="disabled: RunEx succeeds, runs nothing"),
    pytest.param("<AllowStartOnDemand>false</AllowStartOnDemand>", 1, [], HAS_NOT_RUN, id="no start on demand"),
    pytest.param("", 2, ["running"], RUNNING, id="IgnoreNew by default"),
    pytest.param(policy("Parallel"), 2, ["running", "running"], RUNNING, id="Parallel"),
    pytest.param(policy("Queue"), 2, ["running", "queued"], RUNNING, id="Queue"),
    pytest.param(policy("StopExisting"), 2, ["terminated", "running"], RUNNING, id="StopExisting"),
    pytest.param("<ExecutionTimeLimit>PT0.5S</ExecutionTimeLimit>", 1, ["terminated"], TERMINATED, id="time limit"),
]


@pytest.mark.parametrize("settings, calls, states, last_result", SETTINGS)
def test_run_settings(settings, calls, states, last_result):
    morvane.register_xml("Set", task_xml(("sleep", "30"), settings=settings))
    for _ in range(calls):
        morvane.run_task("Set")
    assert eventually(lambda: [record.state for record in emulator.runs("Set")] == states)
    state = emulator.task_state("Set")
    assert state.last_result == last_result
    assert len(state.instances) == states.count("running") + states.count("queued")
    # Stopped, a queued run too, every record is settled.
    assert emulator.end_runs("Set") == 0
    assert {record.state for record in emulator.runs("Set")} <= {"terminated"}


def test_state_follows_runs_to_their_ends():
    morvane.register_xml("Short", task_xml(("sleep", "0.5"), settings=policy("Queue")))
    assert emulator.task_state("Short") == emulator.TaskRunStatus(None, HAS_NOT_RUN, ())
    started = time.time()
    morvane.run_task("Short")
    morvane.run_task("Short")  # queued behind the first
    assert eventually(lambda: [(one.action, one.state) for one in emulator.task_state("Short").instances]
                      == [("sleep", "running"), ("sleep", "queued")], seconds=5)
    assert emulator.wait_runs("Short") == 0
    first, second = emulator.runs("Short")
    assert first.end_time + 0.4 <= second.end_time and second.exit_code == 0  # one after the other
    state = emulator.task_state("Short")
    assert (state.last_result, state.instances) == (0, ())
    assert started <= state.last_run_time == second.time
