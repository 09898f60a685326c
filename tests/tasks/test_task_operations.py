"""The task functions against the emulated scheduler: listing (recursive, hidden), a task's record
before, during and after runs, its definition, enabling, disabling, stopping, and a damaged task."""

import dataclasses
import datetime
import os
import time

import pytest

import morvane
from morvane import TaskInfo, TaskSchedulerError, TaskState, emulator

from .definitions import calendar_trigger, task_xml

HAS_NOT_RUN = 0x00041303  # SCHED_S_TASK_HAS_NOT_RUN
INVALID_TASK_HASH = 0x80041321  # SCHED_E_INVALID_TASK_HASH
FILE_NOT_FOUND = 0x80070002


def as_listed(info):
    """The record list_tasks gives of the task: task_info's, without the principal."""
    return dataclasses.replace(info, principal=None)


def register(*names, **definition):
    for name in names:
        morvane.register_xml(name, task_xml(**definition))


def paths(infos):
    return [info.path for info in infos]


def test_listing_a_folder_its_subfolders_and_hidden_tasks():
    register("Top", "A\\One", "A\\B\\Two", "C\\Three")
    register("Quiet", "A\\Hush", settings="<Hidden>true</Hidden>")

    assert paths(morvane.list_tasks()) == ["\\Top"]
    assert paths(morvane.list_tasks(hidden=True)) == ["\\Quiet", "\\Top"]
    assert paths(morvane.list_tasks("\\A")) == ["\\A\\One"]
    assert paths(morvane.list_tasks("A", recursive=True)) == ["\\A\\One", "\\A\\B\\Two"]
    assert paths(morvane.list_tasks(recursive=True, hidden=True)) == [
        "\\Quiet", "\\Top", "\\A\\Hush", "\\A\\One", "\\A\\B\\Two", "\\C\\Three"]
    with pytest.raises(TaskSchedulerError) as raised:
        morvane.list_tasks("\\Missing")
    assert (raised.value.operation, raised.value.hresult) == ("GetFolder", FILE_NOT_FOUND)


def test_a_task_that_never_ran():
    register("Fresh")
    info = morvane.task_info("Fresh")
    assert info == TaskInfo(path="\\Fresh", name="Fresh", enabled=True, state=TaskState.READY,
                            last_run_time=None, next_run_time=None, last_task_result=HAS_NOT_RUN,
                            number_of_missed_runs=0, principal=morvane.task_definition("Fresh").principal)
    assert type(info.state) is TaskState and morvane.list_tasks() == [as_listed(info)]
    with pytest.raises(AttributeError):
        info.enabled = False  # frozen


@pytest.mark.emulator
def test_a_task_that_ran_and_one_that_runs():
    register("Fails", command="/bin/sh", arguments="-c &quot;exit 3&quot;")
    register("Sleeps", command="/bin/sleep", arguments="30")
    before = datetime.datetime.now().astimezone().replace(microsecond=0)
    morvane.run_task("Fails")
    morvane.run_task("Sleeps")
    assert emulator.wait_runs("Fails") == 0

    ran = morvane.task_info("Fails")
    assert (ran.state, ran.last_task_result) == (TaskState.READY, 3)
    # An aware local time, with the offset of that instant, within the test's span.
    assert ran.last_run_time.utcoffset() == ran.last_run_time.astimezone().utcoffset()
    assert before <= ran.last_run_time <= datetime.datetime.now().astimezone()

    runs = morvane.task_info("Sleeps")
    assert runs.state == TaskState.RUNNING
    assert morvane.stop_task("Sleeps") is None
    assert emulator.wait_runs("Sleeps") == 0
    stopped = morvane.task_info("Sleeps")
    assert stopped.state == TaskState.READY and stopped.last_run_time == runs.last_run_time


def test_disabling_and_enabling():
    register("Toggle")
    assert morvane.disable_task("Toggle") is None
    info = morvane.task_info("Toggle")
    assert (info.enabled, info.state) == (False, TaskState.DISABLED)
    assert morvane.enable_task("Toggle") is None
    info = morvane.task_info("Toggle")
    assert (info.enabled, info.state) == (True, TaskState.READY)
    morvane.register_xml("Off", task_xml(settings="<Enabled>false</Enabled>"))
    assert morvane.task_info("Off").state == TaskState.DISABLED


def test_the_definition_reads_back_and_registers_again():
    register("Export", command="/bin/echo", arguments="Grüße 😀")
    exported = morvane.task_xml("Export")
    assert "<Arguments>Grüße 😀</Arguments>" in exported and "<Command>/bin/echo</Command>" in exported
    morvane.register_xml("Import", exported)
    assert morvane.task_xml("Import") == exported


@pytest.mark.parametrize("function", [morvane.task_info, morvane.task_xml, morvane.enable_task,
                                      morvane.disable_task, morvane.stop_task])
def test_a_missing_task_is_a_scheduler_error(function):
    with pytest.raises(TaskSchedulerError) as raised:
        function("Missing")
    assert (raised.value.operation, raised.value.hresult) == ("GetTask", FILE_NOT_FOUND)


@pytest.mark.emulator
@pytest.mark.parametrize("change", ["none", "disabled", "edited by hand", "another zone"])
def test_what_a_registration_tells_the_listing_is_what_the_service_reads_again(fresh_task_library, monkeypatch,
                                                                                change):
    register("Daily", triggers=calendar_trigger("2026-03-02T06:00:00", interval="PT1H", duration="P1D"))
    if change == "disabled":
        morvane.disable_task("Daily")
    elif change == "edited by hand":
        (task_file,) = [path for path in fresh_task_library.iterdir() if path.name.upper().endswith("DAILY")]
        path_line = task_file.read_text().split("\n", 1)[0]
        task_file.write_text(path_line + "\n" + task_xml(triggers=calendar_trigger("2026-03-02T06:30:00")))
    elif change == "another zone":
        monkeypatch.setenv("TZ", "Asia/Kolkata")
        time.tzset()
    try:
        assert morvane.list_tasks() == [as_listed(morvane.task_info("Daily"))]
    finally:
        monkeypatch.undo()
        time.tzset()


@pytest.mark.emulator
def test_a_damaged_task_is_listed_as_unknown_and_refused_by_name(fresh_task_library):
    register("Good", "Damaged")
    (damaged_file,) = [path for path in fresh_task_library.iterdir() if path.name.upper().endswith("DAMAGED")]
    damaged_file.write_text("\\Damaged\n<Task")

    assert morvane.list_tasks() == [
        TaskInfo(path="\\Damaged", name="Damaged", enabled=False, state=TaskState.UNKNOWN, last_run_time=None,
                 next_run_time=None, last_task_result=INVALID_TASK_HASH, number_of_missed_runs=0),
        as_listed(morvane.task_info("Good")),
    ]
    for function in (morvane.task_info, morvane.task_xml):
        with pytest.raises(TaskSchedulerError) as raised:
            function("Damaged")
        assert (raised.value.hresult, raised.value.operation) == (INVALID_TASK_HASH, "GetTask")


@pytest.mark.emulator
def test_a_run_carries_out_the_definition_as_it_is_now_even_rewritten_by_hand(fresh_task_library):
    # The service reads back the definitions it checked lately by their text: one rewritten in
    # place, the same size and time, is read again.
    morvane.register_xml("Exit", task_xml("/bin/sh", '-c "exit 3"'))
    morvane.run_task("Exit")
    assert emulator.wait_runs("Exit") == 0
    task_file = fresh_task_library / "t.EXIT"
    before = task_file.stat()
    task_file.write_bytes(task_file.read_bytes().replace(b"exit 3", b"exit 4"))
    os.utime(task_file, ns=(before.st_atime_ns, before.st_mtime_ns))
    morvane.run_task("Exit")
    assert emulator.wait_runs("Exit") == 0
    assert [run.exit_code for run in emulator.runs("Exit")] == [3, 4]
