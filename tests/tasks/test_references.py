"""Repeated calls of the task functions keep no reference: not to their arguments, nor to the
classes and enum members they make their results from, nor to the results they returned."""

import datetime
import gc
import sys

import pytest

import morvane
from morvane import TaskInfo, TaskSchedulerError, TaskState

from .definitions import calendar_trigger, task_xml

START = datetime.datetime(2026, 3, 1, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))
END = START + datetime.timedelta(days=2)


def calls(name):
    return [
        lambda: morvane.list_tasks("\\", recursive=True, hidden=True),
        lambda: morvane.task_info(name),
        lambda: morvane.task_xml(name),
        lambda: morvane.enable_task(name),
        lambda: morvane.run_times(name, START, END, max_count=3),
        lambda: morvane.run_times(name, START, START.replace(tzinfo=None)),
        lambda: morvane.task_info(name + "-missing"),
        lambda: morvane.list_tasks(recursive=name),
    ]


@pytest.mark.skipif(not hasattr(sys, "getrefcount"), reason="reference counts")
def test_repeated_calls_keep_no_reference():
    name = "".join(["Refs", "Task"])  # a str of its own, not an interned constant
    morvane.register_xml(name, task_xml(triggers=calendar_trigger("2026-01-01T08:00:00")))
    watched = [name, START, END, TaskInfo, TaskState, TaskState.READY, TaskState.UNKNOWN]

    def run_all():
        for call in calls(name):
            try:
                call()
            except (TaskSchedulerError, TypeError):
                pass

    run_all()  # first use: classes and the datetime C API are looked up once
    gc.collect()
    before = [sys.getrefcount(thing) for thing in watched]
    for _ in range(50):
        run_all()
    gc.collect()
    assert [sys.getrefcount(thing) for thing in watched] == before

    # Results are owned by the caller alone: a local name (or the list) and getrefcount's argument.
    info = morvane.task_info(name)
    assert sys.getrefcount(info) == 2
    times = morvane.run_times(name, START, END)
    assert [sys.getrefcount(times[index]) for index in range(len(times))] == [2] * len(times)
