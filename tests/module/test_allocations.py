"""A successful call makes no Python object: binding, conversion and the result allocate nothing
through the interpreter's allocators, whatever way the arguments come."""

import tracemalloc

import pytest

import morvane

from .task_xml import TASK_XML


@pytest.fixture
def traced():
    tracemalloc.start()
    yield
    tracemalloc.stop()


CALLS = {
    "positional": lambda: morvane.task_exists("Counted"),
    "keyword": lambda: morvane.task_exists(task_name="Counted"),
    "missing task": lambda: morvane.task_exists("Absent"),
    "two keywords": lambda: morvane.register_xml(xml_data=TASK_XML, task_name="Counted"),
    "non-ASCII": lambda: morvane.task_exists("Zählung"),
}


def traced_growth(call):
    """What three calls leave allocated, and their peak, through the interpreter's allocators."""
    call()  # the first call caches a non-ASCII text's UTF-8 form inside the str; later ones borrow it
    tracemalloc.reset_peak()
    baseline, _ = tracemalloc.get_traced_memory()
    call()
    call()
    call()
    current, peak = tracemalloc.get_traced_memory()
    return current - baseline, peak - baseline


def allocates_nothing():
    return len("Counted")


@pytest.mark.parametrize("call", CALLS.values(), ids=CALLS.keys())
def test_a_successful_call_allocates_no_python_memory(call, traced):
    morvane.register_xml("Counted", TASK_XML)
    # The measurement itself costs a little (tracemalloc's own frames): a call of a builtin that
    # allocates nothing stands for it.
    traced_growth(allocates_nothing)  # the first measurement warms tracemalloc itself up
    assert traced_growth(call) == traced_growth(allocates_nothing)
