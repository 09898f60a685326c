"""Repeated calls of the operations, as functions and as Scheduler methods, keep no reference: not
to their arguments, nor to the classes and enum members they make their results from, nor to
the Scheduler, nor to the results they returned."""

import gc
import sys

import pytest

import morvane
from morvane import TaskInfo, TaskSchedulerError, TaskState

from operations import DAILY, END, OPERATIONS, START

# Each of these leaves the task as it found it.
REPEATABLE = [operation for operation in OPERATIONS if operation.name not in ("delete_task", "run_task", "stop_task")]


class Model:
    """A definition that writes itself as a str of its own, or as no str at all."""

    def __init__(self, written):
        self.written = written

    def to_xml(self):
        return self.written


@pytest.mark.skipif(not hasattr(sys, "getrefcount"), reason="reference counts")
def test_repeated_calls_keep_no_reference(runner):
    target, _ = runner
    name = "".join(["Refs", "Task"])  # a str of its own, not an interned constant
    morvane.register_xml(name, DAILY)
    closed = morvane.Scheduler()
    closed.close()
    written = "".join([DAILY])
    model, refused = Model(written), Model(5)
    watched = [target, closed, name, START, END, TaskInfo, TaskState, TaskState.READY, TaskState.UNKNOWN,
               morvane.Scheduler, written, model, refused, morvane.RegisterMode.UPDATE]
    calls = [lambda operation=operation: operation.call(target, name) for operation in REPEATABLE] + [
        lambda: target.task_info(name + "-missing"),
        lambda: target.run_times(name, START, END, max_count=3),
        lambda: target.run_times(name, START, START.replace(tzinfo=None)),
        lambda: target.list_tasks(recursive=name),
        lambda: closed.task_exists(name),
        lambda: target.register_task(name, model, mode=morvane.RegisterMode.UPDATE),
        lambda: target.register_task(name, refused),
        lambda: target.register_task(name, model, mode=3),
        lambda: target.register_task(name, model, mode=morvane.RegisterMode.CREATE),
    ]

    def run_all():
        for call in calls:
            try:
                call()
            except (TaskSchedulerError, TypeError, ValueError):
                pass

    run_all()  # first use: classes and the datetime C API are looked up once
    gc.collect()
    before = [sys.getrefcount(thing) for thing in watched]
    for _ in range(50):
        run_all()
    gc.collect()
    after = [sys.getrefcount(thing) for thing in watched]
    # A state's member is kept once, by the first result that holds it: whether an instance that
    # never started (UNKNOWN) comes up in the first round depends on the runs' timing.
    kept_once = {watched.index(TaskState.READY), watched.index(TaskState.UNKNOWN)}
    assert [count - (index in kept_once and count == before[index] + 1) for index, count in enumerate(after)] == before

    # Results are owned by the caller alone: a local name (or the list) and getrefcount's argument.
    info = target.task_info(name)
    assert sys.getrefcount(info) == 2
    times = target.run_times(name, START, END)
    assert [sys.getrefcount(times[index]) for index in range(len(times))] == [2] * len(times)
