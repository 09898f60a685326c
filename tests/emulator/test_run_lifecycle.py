"""A run against its task and its host: the service's own environment, bounded records, a task
deleted under its runs, and what the records say of a run that could not go on."""

import os
import sys
import time

import pytest

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

import morvane  # noqa: E402
from morvane import emulator  # noqa: E402
from morvane.run_lines import run_line  # noqa: E402
from run_support import eventually, in_another_process, task_xml  # noqa: E402

HAS_NOT_RUN, FILE_NOT_FOUND, ERROR_DIRECTORY, FILE_CORRUPT = 0x41303, 0x80070002, 0x8007010B, 0x80070570
MISSING = "/nonexistent/winemu-test-program"


def test_run_task_survives_another_thread_changing_the_environment():
    # Before the service kept its own copy, posix_spawn read `environ` while setenv reallocated it:
    # the interpreter died of SIGSEGV. In a process of its own, so that a crash fails this test only.
    morvane.register_xml("Churn", task_xml(("true", "%CHURN_1% %churn_2%"),
                                           settings="<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>"))
    done = in_another_process("""
        import os, threading, morvane
        from morvane import emulator
        stop = False
        def churn():
            i = 0
            while not stop:
                os.environ[f"CHURN_{i % 64}"] = "x" * (i % 300)
                os.environ.pop(f"CHURN_{(i + 32) % 64}", None)
                i += 1
        thread = threading.Thread(target=churn)
        thread.start()
        try:
            for _ in range(50):
                morvane.run_task("Churn")
        finally:
            stop = True
            thread.join()
        assert emulator.wait_runs("Churn") == 0
    """, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    assert len(emulator.runs("Churn")) == 50


def test_actions_get_the_services_environment_not_the_live_one(tmp_path):
    out = tmp_path / "out"
    morvane.register_xml("Env", task_xml(("sh", f'-c "echo ${{MORVANE_TEST_LIVE-unset}} &gt;&gt; {out}"'),
                                         (MISSING, "%MORVANE_TEST_LIVE%")))
    os.environ["MORVANE_TEST_LIVE"] = "live"  # after the service took its copy
    try:
        morvane.run_task("Env")
        assert emulator.wait_runs("Env") == 0
        emulator.set_environment(os.environ)
        morvane.run_task("Env")
        assert emulator.wait_runs("Env") == 0
    finally:
        del os.environ["MORVANE_TEST_LIVE"]
        emulator.set_environment(os.environ)
    assert out.read_text().split() == ["unset", "live"]
    expanded = [record.argv[1:] for record in emulator.runs("Env") if record.argv[0] == MISSING]
    assert expanded == [("%MORVANE_TEST_LIVE%",), ("live",)]
    with pytest.raises(ValueError):
        emulator.set_environment({"A=B": "c"})


def test_a_huge_records_file_costs_a_run_and_a_stop_no_more_than_a_small_one():
    morvane.register_xml("Big", task_xml(("sleep", "30")))
    records = emulator.task_library() / "r.BIG"
    with open(records, "wb") as file:
        file.truncate(256 << 20)  # no line end anywhere: once, that made every reader read it all
    done = in_another_process("""
        import resource, time, morvane
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        started = time.monotonic()
        morvane.run_task("Big")
        morvane.stop_task("Big")
        print(resource.getrusage(resource.RUSAGE_SELF).ru_maxrss - before, time.monotonic() - started)
    """, capture_output=True, text=True)
    assert done.returncode == 0, done.stderr
    grown_kib, seconds = done.stdout.split()
    assert int(grown_kib) < 32 << 10 and float(seconds) < 5
    # The records were cut to a bounded history before the run was recorded.
    assert records.stat().st_size < 1 << 20
    assert [record.state for record in emulator.runs("Big")] == ["terminated"]


def test_records_are_kept_to_a_bounded_history_once_no_run_holds_them():
    morvane.register_xml("Many", task_xml(("sleep", "0.3"),
                                          settings="<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>"))
    morvane.run_task("Many")
    assert emulator.wait_runs("Many") == 0
    records = emulator.task_library() / "r.MANY"
    line = records.read_bytes()
    inflated = line * ((3 << 20) // len(line))  # 3 MiB of records
    records.write_bytes(inflated)
    morvane.run_task("Many")  # trims first: nothing runs
    assert records.stat().st_size <= 1 << 20
    with open(records, "ab") as file:
        file.write(inflated)
    morvane.run_task("Many")  # the run before still lives: its record is completed in place, so no trim
    assert records.stat().st_size > 3 << 20
    assert emulator.wait_runs("Many") == 0
    # The run started before the second 3 MiB lies further back than any reader looks, so no wait
    # sees it end (slow under the sanitizers): the first run after it has ended trims.
    deadline = time.monotonic() + 10
    while records.stat().st_size > 1 << 20 and time.monotonic() < deadline:
        morvane.run_task("Many")
        assert emulator.wait_runs("Many") == 0
    assert records.stat().st_size <= 1 << 20
    kept = emulator.runs("Many")
    assert 1000 < len(kept) < 3000
    assert [(record.state, record.exit_code) for record in kept[-3:]] == [("ended", 0)] * 3


def test_a_deleted_tasks_runs_end_with_it_and_never_reach_a_new_task_of_its_name(tmp_path):
    started = tmp_path / "started"
    xml = task_xml(("sh", f'-c "echo $$ &gt;&gt; {started}; exec sleep 30"'), ("sh", f'-c "echo second &gt;&gt; {started}"'),
                   settings="<MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>")
    morvane.register_xml("Twice", xml)
    for _ in range(3):
        morvane.run_task("Twice")  # one runs, two wait
    assert eventually(lambda: started.exists() and [r.state for r in emulator.runs("Twice")] == ["running", "queued", "queued"])
    [pid] = started.read_text().split()
    morvane.delete_task("Twice")
    morvane.register_xml("Twice", xml)
    assert eventually(lambda: not os.path.exists(f"/proc/{pid}")), "the deleted task's action still runs"
    time.sleep(0.3)
    assert started.read_text().split() == [pid]  # no queued run started, no second action
    assert emulator.runs("Twice") == []
    info = morvane.task_info("Twice")
    assert (info.state, info.last_task_result) == (morvane.TaskState.READY, HAS_NOT_RUN)
    assert emulator.wait_runs(None, 0) == 0


# (actions, the states its records settle in, the task's last result, a text the last error holds)
CANNOT_START = [
    pytest.param([("true", "", "/nonexistent/dir")], ["not started"], ERROR_DIRECTORY, "/nonexistent/dir",
                 id="missing working directory"),
    pytest.param([(MISSING, ""), ("true", "")], ["not started"], FILE_NOT_FOUND, "No such file",
                 id="the first of two cannot start: the run ends there"),
    pytest.param([("true", "", "/nonexistent/dir"), ("true", "")], ["not started"], ERROR_DIRECTORY, "/nonexistent/dir",
                 id="the first of two has no working directory"),
    pytest.param([("true", ""), (MISSING, ""), ("true", "")], ["ended", "not started"], FILE_NOT_FOUND, "No such file",
                 id="the second of three cannot start"),
]


@pytest.mark.parametrize("actions, states, last_result, error", CANNOT_START)
def test_an_action_that_cannot_start_ends_its_run_with_its_failure(actions, states, last_result, error):
    morvane.register_xml("Fails", task_xml(*actions))
    morvane.run_task("Fails")
    assert emulator.wait_runs("Fails") == 0
    records = emulator.runs("Fails")
    assert [record.state for record in records] == states
    assert error in records[-1].error
    assert morvane.task_info("Fails").last_task_result == last_result


@pytest.mark.parametrize("exit_code", ["1e300", "-1e300", "2.5", "4294967296", "-2147483649"])
def test_an_exit_code_no_process_can_have_is_damage_not_success(exit_code):
    morvane.register_xml("Damaged", task_xml(("true", "")))
    morvane.run_task("Damaged")
    assert emulator.wait_runs("Damaged") == 0
    records = emulator.task_library() / "r.DAMAGED"
    text = records.read_text()
    padded = '"exit_code": 0, "error": null' + " " * len(exit_code)
    assert padded in text
    records.write_text(text.replace(padded, f'"exit_code": {exit_code}, "error": null '))  # as wide as before
    assert morvane.task_info("Damaged").last_task_result == FILE_CORRUPT
    with pytest.raises(ValueError, match="damaged"):
        emulator.task_state("Damaged")


def test_a_queued_run_says_so_and_keeps_when_it_was_queued_apart_from_when_it_started():
    morvane.register_xml("Queued", task_xml(("sleep", "0.5"),
                                            settings="<MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>"))
    morvane.run_task("Queued")
    morvane.run_task("Queued")
    first, second = emulator.runs("Queued")
    assert second.state == "queued" and second.start_time is None
    assert run_line(second).endswith("(queued)")
    assert emulator.wait_runs("Queued") == 0
    first, second = emulator.runs("Queued")
    assert second.time < first.end_time <= second.start_time < second.end_time
    assert "started " in run_line(second) and "started " not in run_line(first)
