"""Runs belong to the emulated service: they outlive their caller, hold nothing of it, and are
recorded to their end, also when their runner is killed."""

import os
import signal
import sys
import time

import pytest

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

import morvane  # noqa: E402
from morvane import emulator  # noqa: E402
from run_support import eventually, in_another_process, task_xml  # noqa: E402

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator


def test_a_run_goes_on_after_its_caller_is_killed_and_records_every_action_to_its_end():
    morvane.register_xml("Three", task_xml(("sh", '-c "sleep 0.2; exit 3"'), ("sh", '-c "exit 0"'), ("false", "")))
    # The caller kills itself as soon as RunEx returns: nothing of the run is left to it. It ignores
    # SIGCHLD and SIGPIPE, which must not reach the runner (exit codes would be lost).
    killed = in_another_process("import os, signal, morvane\n"
                                "signal.signal(signal.SIGCHLD, signal.SIG_IGN)\n"
                                "signal.signal(signal.SIGPIPE, signal.SIG_IGN)\n"
                                "morvane.run_task('Three'); os.kill(os.getpid(), 9)")
    assert killed.returncode == -signal.SIGKILL
    assert emulator.wait_runs("Three") == 0
    records = emulator.runs("Three")
    assert [(record.state, record.exit_code) for record in records] == [("ended", 3), ("ended", 0), ("ended", 1)]
    assert len({record.run for record in records}) == 1
    for earlier, later in zip(records, records[1:]):
        assert earlier.time <= earlier.end_time <= later.time  # one after another


def test_the_caller_waits_for_no_action_through_its_pipes():
    morvane.register_xml("Sleeper", task_xml(("sleep", "30")))
    started = time.monotonic()
    done = in_another_process("import morvane.cli; raise SystemExit(morvane.cli.main(['run', 'Sleeper']))",
                              capture_output=True)
    assert done.returncode == 0 and time.monotonic() - started < 10  # the action still sleeps
    [record] = emulator.runs("Sleeper")
    assert record.state in ("starting", "running") and record.end_time is None
    assert emulator.end_runs("Sleeper") == 0
    [record] = emulator.runs("Sleeper")
    assert (record.state, record.exit_code) == ("terminated", -signal.SIGKILL)


def test_a_killed_runner_leaves_its_run_recorded_as_lost_and_no_process_behind():
    morvane.register_xml("Orphaned", task_xml(("sleep", "30"), ("true", "")))
    morvane.run_task("Orphaned")
    eventually(lambda: emulator.runs("Orphaned")[0].state == "running")
    record = emulator.runs("Orphaned")[0]
    with open(f"/proc/{record.pid}/stat") as stat:
        runner = int(stat.read().rsplit(")", 1)[1].split()[1])  # the action's parent
    os.kill(runner, signal.SIGKILL)
    assert emulator.wait_runs("Orphaned") == 0
    [record] = emulator.runs("Orphaned")
    assert record.state == "lost" and record.end_time is None
    assert emulator.task_state("Orphaned").last_result == 0x8007042B  # ERROR_PROCESS_ABORTED
    assert eventually(lambda: not os.path.exists(f"/proc/{record.pid}")), "the action outlived its runner"
    # Damaged records of one task stop neither its next run nor another task's.
    with open(emulator.task_library() / "r.ORPHANED", "ab") as records:
        records.write(b'{"time": 1.0, "argv": [broken}\n')
    with pytest.raises(ValueError, match="records of task 'Orphaned' are damaged"):
        emulator.task_state("Orphaned")
    morvane.register_xml("Other", task_xml(("true", "")))
    morvane.run_task("Orphaned")
    morvane.run_task("Other")
    assert emulator.wait_runs("Other") == 0
    assert [record.state for record in emulator.runs("Other")] == ["ended"]
    assert emulator.wait_runs("Orphaned", timeout=0) == 1


def test_the_runner_of_a_run_leads_a_session_of_its_own_with_no_xml_library_nor_libwinemu_loaded():
    # What each run's process loads is paid by every run: the runner carries a run with winemu's
    # run code linked in, and none of the libraries that parsing definitions needs. It leaves the
    # caller's session itself, after the spawn that the caller waits for.
    morvane.register_xml("Sleeper", task_xml(("sleep", "30")))
    morvane.run_task("Sleeper")
    eventually(lambda: emulator.runs("Sleeper")[0].pid is not None)
    pid = emulator.runs("Sleeper")[0].pid
    with open(f"/proc/{pid}/stat") as stat:
        runner = int(stat.read().rpartition(")")[2].split()[1])
    with open(f"/proc/{runner}/maps") as maps:
        loaded = {line.split()[-1].rpartition("/")[2] for line in maps if "/" in line}
    session, group = os.getsid(runner), os.getpgid(runner)
    assert emulator.end_runs("Sleeper") == 0
    assert session == group != os.getsid(0)
    assert not {name for name in loaded if name.startswith(("libxml2", "libicu", "libwinemu"))}, loaded


def test_a_signal_to_the_callers_process_group_right_after_run_task_does_not_reach_the_run():
    # The runner leaves the caller's session only once it runs: a signal sent to the caller's group
    # before then must wait in its first process, never end the run.
    morvane.register_xml("Quick", task_xml(("sh", '-c "exit 0"')))
    # A signal the caller handles: the handler is gone in the runner's program, which it would end.
    caller = in_another_process("import os, signal, morvane\n"
                                "signal.signal(signal.SIGUSR1, lambda *_: None)\n"
                                "morvane.run_task('Quick'); os.killpg(0, signal.SIGUSR1)", start_new_session=True)
    assert caller.returncode == 0
    assert emulator.wait_runs("Quick") == 0
    assert [(record.state, record.exit_code) for record in emulator.runs("Quick")] == [("ended", 0)]
