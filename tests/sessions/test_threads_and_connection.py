"""One Scheduler closed under running calls, called from a single-threaded apartment, and
connecting anew after the service went away. (That its calls release the interpreter lock and
run on many threads at once is tested with the functions', in module/test_threads.py.)"""

import threading
import time

import pytest

import morvane
from morvane import TaskSchedulerError, emulator

from operations import DAILY

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator


def test_closing_lets_running_calls_finish_and_refuses_later_ones():
    emulator.set_latency(0.05)
    scheduler = morvane.Scheduler()
    started = threading.Barrier(5)
    answers = []

    def call():
        started.wait()
        answers.append(scheduler.task_exists("Daily"))

    callers = [threading.Thread(target=call) for _ in range(4)]
    for caller in callers:
        caller.start()
    started.wait()
    time.sleep(0.02)  # the calls are now inside the service, most likely
    scheduler.close()
    for caller in callers:
        caller.join()
    assert answers == [False] * 4
    with pytest.raises(ValueError, match="closed Scheduler"):
        scheduler.task_exists("Daily")


def test_a_thread_in_a_single_threaded_apartment_is_served():
    outcome = []

    def gui_thread():
        assert emulator.enter_apartment(False) == 0
        try:
            with morvane.Scheduler() as scheduler:
                scheduler.register_xml("Daily", DAILY)
                outcome.append((scheduler.task_exists("Daily"), scheduler.task_info("Daily").name))
        finally:
            emulator.leave_apartment()

    thread = threading.Thread(target=gui_thread)
    thread.start()
    thread.join()
    assert outcome == [(True, "Daily")]
    assert emulator.violations() == []


@pytest.mark.parametrize(("code", "reconnects"), [
    (0x80010108, True),   # RPC_E_DISCONNECTED
    (0x800706BA, True),   # RPC_S_SERVER_UNAVAILABLE
    (0x80070005, False),  # access denied: the connection is still good
])
def test_after_a_lost_connection_the_next_call_connects_anew(code, reconnects):
    with morvane.Scheduler() as scheduler:
        connects = emulator.call_count("Connect")
        emulator.fail_next("GetTask", code)
        with pytest.raises(TaskSchedulerError) as raised:
            scheduler.task_exists("Daily")
        assert (raised.value.hresult, raised.value.operation) == (code, "GetTask")
        assert scheduler.task_exists("Daily") is False
        assert scheduler.task_exists("Daily") is False
        assert emulator.call_count("Connect") == connects + reconnects


def test_a_failed_reconnection_fails_its_call_and_the_next_call_tries_again():
    with morvane.Scheduler() as scheduler:
        emulator.fail_next("GetTask", 0x80010108)
        emulator.fail_next("Connect", 0x800706BA)
        for expected in ("GetTask", "Connect"):
            with pytest.raises(TaskSchedulerError) as raised:
                scheduler.task_exists("Daily")
            assert raised.value.operation == expected
        assert scheduler.task_exists("Daily") is False
