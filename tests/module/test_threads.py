"""Every operation, as a function and as a Scheduler method, releases the interpreter lock while
the service works and takes it back on every way out; the functions run on many threads at once;
importing either extension keeps a free-threaded interpreter free-threaded."""

import importlib
import sys
import sysconfig
import threading
import time

import pytest

import morvane
from morvane import TaskSchedulerError, emulator

from operations import DAILY, OPERATIONS

from .task_xml import TASK_XML


@pytest.mark.emulator
@pytest.mark.parametrize("operation", OPERATIONS, ids=lambda operation: operation.name)
def test_other_threads_run_python_while_a_call_waits_on_the_service(runner, operation):
    target, _ = runner
    morvane.register_xml("Slow", DAILY)
    emulator.set_latency(0.03)  # per service call: every operation makes at least one
    ticks = 0
    done = threading.Event()

    def count():
        nonlocal ticks
        while not done.is_set():
            ticks += 1

    counter = threading.Thread(target=count)
    counter.start()
    try:
        time.sleep(0.01)
        before = ticks
        operation.call(target, "Slow")
        during = ticks - before
    finally:
        done.set()
        counter.join()
    # With the lock held, the counter would stand still for the whole call.
    assert during > 1000


@pytest.mark.emulator
def test_the_lock_is_held_again_after_every_kind_of_outcome(runner):
    # A thread that came back without the lock would crash or corrupt the interpreter here.
    target, _ = runner
    emulator.fail_next("SysAllocStringLen", 0)
    outcomes = []
    for call in (lambda: target.task_exists("x"), lambda: target.run_task("x"), lambda: target.run_task(1)):
        try:
            outcomes.append(call())
        except BaseException as error:  # noqa: B036 - PanicException derives from BaseException
            outcomes.append(type(error).__name__)
    assert outcomes == ["PanicException", "TaskSchedulerError", "TypeError"]
    assert [str(x) for x in range(3)] == ["0", "1", "2"]


@pytest.mark.emulator
def test_calls_on_many_threads_overlap_and_leave_nothing_behind():
    latency = 0.02
    emulator.set_latency(latency)
    morvane.register_xml("Shared", TASK_XML)
    outcomes = []
    barrier = threading.Barrier(8)

    def work(index):
        barrier.wait()
        name = f"Task{index}"
        morvane.register_xml(name, TASK_XML)
        results = [morvane.task_exists(name), morvane.task_exists("Shared")]
        morvane.run_task(name)
        morvane.delete_task(name)
        try:
            morvane.delete_task(name)
        except TaskSchedulerError as error:
            results.append(error.hresult)
        outcomes.append(results)

    threads = [threading.Thread(target=work, args=(index,)) for index in range(8)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started

    assert outcomes == [[True, True, 0x80070002]] * 8
    # Each thread makes six calls of three or more service calls each: one after another they
    # would take 8 * 18 * latency; overlapping, they take a small multiple of one thread's share.
    assert elapsed < 8 * 18 * latency / 2
    assert emulator.outstanding() == {"objects": 0, "bstrs": 0, "apartments": 0, "buffers": 0, "libraries": 0, "mta_usages": 0}


@pytest.mark.parametrize("module", ["morvane._morvane_backend", "morvane._morvane_tasks"])
def test_importing_the_module_keeps_a_free_threaded_interpreter_free_threaded(module):
    if not sysconfig.get_config_var("Py_GIL_DISABLED"):
        pytest.skip("not a free-threaded build")
    importlib.import_module(module)
    assert sys._is_gil_enabled() is False
