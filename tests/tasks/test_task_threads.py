"""The task functions run on many threads at once, making their records and datetimes side by
side (their lock release is tested with every operation's, in module/test_threads.py)."""

import datetime
import threading
import time

import pytest

import morvane
from morvane import TaskState, emulator

from .definitions import calendar_trigger, task_xml

START = datetime.datetime(2026, 3, 1, tzinfo=datetime.timezone.utc)


@pytest.mark.emulator
def test_calls_on_many_threads_overlap_and_agree():
    latency = 0.02
    emulator.set_latency(latency)
    for index in range(8):
        morvane.register_xml(f"Folder{index % 2}\\Task{index}",
                             task_xml(triggers=calendar_trigger("2026-01-01T08:00:00")))
    expected_times = morvane.run_times("Folder0\\Task0", START, START + datetime.timedelta(days=30))
    barrier = threading.Barrier(8)
    outcomes = []

    def work(index):
        name = f"Folder{index % 2}\\Task{index}"
        barrier.wait()
        morvane.disable_task(name)
        state = morvane.task_info(name).state
        morvane.enable_task(name)
        listed = len(morvane.list_tasks(recursive=True))
        times = morvane.run_times(name, START, START + datetime.timedelta(days=30))
        outcomes.append((state, listed, times == expected_times, "Task" in morvane.task_xml(name)))

    threads = [threading.Thread(target=work, args=(index,)) for index in range(8)]
    started = time.monotonic()
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()
    elapsed = time.monotonic() - started

    assert outcomes == [(TaskState.DISABLED, 8, True, True)] * 8
    # Six calls of four or more service calls each, per thread: in turn they would take
    # 8 * 24 * latency at least.
    assert elapsed < 8 * 24 * latency / 2
