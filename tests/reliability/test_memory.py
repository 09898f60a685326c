"""Mixed calls (successes, binding failures, scheduler failures) grow the process's resident
memory by less than 2 MiB once warmed up: nothing a call makes is kept.

40,000 calls here; MORVANE_LONG_TESTS=1 makes 200,000. Not under AddressSanitizer, whose
quarantine holds freed memory on purpose."""

import datetime
import os
import sys

import pytest

import morvane
from morvane import TaskSchedulerError

from module.task_xml import TASK_XML

START = datetime.datetime(2026, 1, 1, tzinfo=datetime.timezone.utc)
END = datetime.datetime(2026, 1, 2, tzinfo=datetime.timezone.utc)
CALLS = 200_000 if os.environ.get("MORVANE_LONG_TESTS") else 40_000
ALLOWED_GROWTH = 2 * 1024 * 1024


def resident_bytes():
    with open("/proc/self/statm") as statm:
        return int(statm.read().split()[1]) * os.sysconf("SC_PAGE_SIZE")


# One round: every kind of outcome, each a different way through the module.
ROUND = [
    lambda: morvane.task_exists("Present"),
    lambda: morvane.task_exists(task_name="Missing\\Folder\\Task"),
    lambda: morvane.register_xml("Present", TASK_XML),
    lambda: morvane.run_task("Missing"),  # TaskSchedulerError
    lambda: morvane.register_xml("Bad", "<Task/>"),  # refused definition, with a described error
    lambda: morvane.task_exists(5),  # TypeError with a note
    lambda: morvane.delete_task(),  # TypeError from binding
    lambda: morvane.run_task("x", bogus=1),
    lambda: morvane.task_exists("a\0b"),  # ValueError
    lambda: morvane.task_exists("\ud800"),  # UnicodeEncodeError
    lambda: morvane.list_tasks(recursive=True),
    lambda: morvane.task_info("Present"),
    lambda: morvane.task_xml("Present"),
    lambda: morvane.disable_task("Present"),
    lambda: morvane.run_times("Present", START, END, max_count=5),
    lambda: morvane.run_times("Present", START.replace(tzinfo=None), END),  # TypeError with a note
    lambda: morvane.task_info("Missing"),  # TaskSchedulerError
]


def run_rounds(rounds):
    for _ in range(rounds):
        for call in ROUND:
            try:
                call()
            except (TaskSchedulerError, TypeError, ValueError):
                pass


@pytest.mark.skipif(not sys.platform.startswith("linux"), reason="reads /proc")
@pytest.mark.skipif("asan" in os.environ.get("LD_PRELOAD", ""), reason="AddressSanitizer keeps freed memory")
def test_mixed_calls_keep_nothing():
    morvane.register_xml("Present", TASK_XML)
    run_rounds(500)  # warm-up: caches, allocator arenas, the exception classes' first use
    before = resident_bytes()
    run_rounds(CALLS // len(ROUND))
    growth = resident_bytes() - before
    print(f"{CALLS} mixed calls: resident memory grew by {growth / 1024:.0f} KiB")
    assert growth < ALLOWED_GROWTH, f"resident memory grew by {growth / 1024:.0f} KiB"
