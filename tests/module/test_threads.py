"""Every operation, as a function and as a Scheduler method, releases the interpreter lock while
the service works and takes it back on every way out; functions, and one Scheduler's methods,
run on many threads at once;
importing either extension keeps a free-threaded interpreter free-threaded."""

import importlib
import sys
import sysconfig
import threading
import time

import pytest

import morvane
from morvane import TaskSchedulerError, TaskState, emulator

from operations import DAILY, END, OPERATIONS, START, folder_of


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
def test_calls_on_many_threads_overlap_and_agree(runner):
    """Eight threads, each on its own task (functions, or the methods of one shared Scheduler),
    answer as a lone caller does, in a fraction of the time eight lone callers take in turn."""
    target, _ = runner
    names = ["Alone", *(f"Folder{index % 2}\\Task{index}" for index in range(8))]
    for name in names:
        morvane.register_xml(name, DAILY)
    connects = emulator.call_count("Connect")
    emulator.set_latency(0.02)

    def work(name, together=threading.Barrier(1), listed=threading.Barrier(1)):
        together.wait()
        target.disable_task(name)
        answers = [target.task_info(name).state, target.task_exists(name)]
        target.enable_task(name)
        answers += [target.run_times(name, START, END), "Task" in target.task_xml(name),
                    "\\" + name in [info.path for info in target.list_tasks(folder_of(name))]]
        target.register_xml(name, DAILY)
        listed.wait()  # no task goes while another thread lists its folder
        target.delete_task(name)
        try:
            target.delete_task(name)
        except TaskSchedulerError as error:
            answers.append(error.hresult)
        return answers

    started = time.monotonic()
    alone = work(names[0])
    alone_time = time.monotonic() - started
    together, listed, outcomes = threading.Barrier(8), threading.Barrier(8), []
    threads = [threading.Thread(target=lambda name=name: outcomes.append(work(name, together, listed)))
               for name in names[1:]]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started

    assert (alone[0], alone[1], len(alone[2]), alone[3:]) == (TaskState.DISABLED, True, 3, [True, True, 0x80070002])
    assert outcomes == [alone] * 8
    assert elapsed < 8 * alone_time / 2
    if target is not morvane:
        assert emulator.call_count("Connect") == connects  # every call on the session's connection


@pytest.mark.parametrize("module", ["morvane._morvane_backend", "morvane._morvane_tasks"])
def test_importing_the_module_keeps_a_free_threaded_interpreter_free_threaded(module):
    if not sysconfig.get_config_var("Py_GIL_DISABLED"):
        pytest.skip("not a free-threaded build")
    importlib.import_module(module)
    assert sys._is_gil_enabled() is False
