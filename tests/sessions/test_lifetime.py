"""A Scheduler's life: closing it (also by a with block), what a closed one answers, the warning
for one dropped while open, and a forked child's use of its parent's. (That its calls keep no
reference is tested with the functions', in tasks/test_references.py.)"""

import gc
import os
import warnings

import pytest

import morvane
from morvane import emulator

from operations import OPERATIONS


@pytest.mark.parametrize("operation", OPERATIONS, ids=lambda operation: operation.name)
def test_a_closed_scheduler_binds_the_call_then_refuses_it(operation):
    scheduler = morvane.Scheduler()
    scheduler.close()
    args, kwargs = operation.arguments("Daily")
    with pytest.raises(ValueError, match=r"^operation on a closed Scheduler$"):
        getattr(scheduler, operation.name)(*args, **kwargs)
    with pytest.raises(TypeError, match=rf"^Scheduler\.{operation.name}\(\) got an unexpected keyword argument 'x'$"):
        getattr(scheduler, operation.name)(*args, **kwargs, x=1)


def test_closing_and_the_with_block():
    scheduler = morvane.Scheduler()
    assert repr(scheduler).startswith("<morvane.Scheduler open at 0x") and not scheduler.closed
    with pytest.raises(KeyError), scheduler as entered:  # __exit__ lets the exception through
        assert entered is scheduler and entered.task_exists("Daily") is False
        raise KeyError("inside")
    assert scheduler.closed and repr(scheduler).startswith("<morvane.Scheduler closed at 0x")
    scheduler.close()  # again: nothing happens
    with pytest.raises(ValueError, match="closed Scheduler"), scheduler:
        pass
    with pytest.raises(TypeError, match=r"takes from 0 to 1 positional arguments but 2 were given"):
        morvane.Scheduler("a", "b")


@pytest.mark.emulator
def test_a_scheduler_dropped_open_warns_and_is_closed():
    connects = emulator.call_count("Connect")
    with pytest.warns(ResourceWarning, match=r"^unclosed <morvane\.Scheduler open at 0x"):
        morvane.Scheduler().task_exists("Daily")
        gc.collect()
    assert emulator.call_count("Connect") == connects + 1
    # The fixture finds everything the session held given back.


def test_a_forked_child_cannot_use_its_parents_scheduler_but_can_open_its_own():
    scheduler = morvane.Scheduler()
    with warnings.catch_warnings():
        warnings.simplefilter("ignore", DeprecationWarning)  # fork() with threads running
        pid = os.fork()
    if pid == 0:
        status = 1
        try:
            with warnings.catch_warnings(record=True) as caught:
                warnings.simplefilter("always")
                try:
                    scheduler.task_exists("Daily")
                except RuntimeError as error:
                    status = 2 if "forked" in str(error) else 3
                with morvane.Scheduler() as own:
                    status += 10 * own.task_exists("Daily") + 20 * (own.closed is False)
                del scheduler
                gc.collect()
                status += 100 * len(caught)
        finally:
            os._exit(status)
    _, wait_status = os.waitpid(pid, 0)
    scheduler.close()
    assert os.waitstatus_to_exitcode(wait_status) == 22  # RuntimeError, own session worked, no warning
