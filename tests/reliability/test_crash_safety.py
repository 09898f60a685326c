"""A process killed with SIGKILL while it replaces a definition, again and again: the task keeps
its old or its new definition, whole, and what the killed writer left trips no later call.

MORVANE_LONG_TESTS=1 kills 300 writers instead of 25."""

import os
import random
import signal
import subprocess
import sys
import time

import pytest

import morvane

from . import workload

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

KILLS = 300 if os.environ.get("MORVANE_LONG_TESTS") else 25
WORKLOAD = os.path.join(os.path.dirname(__file__), "workload.py")


def killed_writer(library, writer, chooser):
    """Starts a writer, kills it at a random moment after its first replacement, and returns the
    last version it reported as stored."""
    process = subprocess.Popen([sys.executable, WORKLOAD, str(library), "replace", writer],
                               stdout=subprocess.PIPE, text=True)
    first = process.stdout.readline()
    assert first, "the writer ended before its first replacement"
    time.sleep(chooser.uniform(0, 0.03))
    process.send_signal(signal.SIGKILL)
    rest = process.stdout.read()
    process.wait()
    return int((first + rest).split()[-1])


def test_killed_writers_leave_the_old_or_the_new_definition(fresh_task_library):
    chooser = random.Random(8)
    morvane.register_xml("Victim", workload.definition("initial", 0))
    for kill in range(KILLS):
        writer = f"writer{kill}"
        reported = killed_writer(fresh_task_library, writer, chooser)
        stored, strays = workload.stored_definitions(fresh_task_library)
        # What was reported is stored, or the one after it, which was in flight when it was killed.
        assert stored["\\Victim"] in {(writer, reported), (writer, reported + 1)}
        assert set(strays) <= {".new.t.VICTIM"}
    # Whatever was left in flight, every call goes on as usual and leaves nothing stray.
    morvane.register_xml("victim", workload.definition("after", 1))
    assert workload.stored_definitions(fresh_task_library) == ({"\\Victim": ("after", 1)}, [])
    assert morvane.task_exists("VICTIM") is True
    morvane.delete_task("Victim")
    assert workload.stored_definitions(fresh_task_library) == ({}, [])
