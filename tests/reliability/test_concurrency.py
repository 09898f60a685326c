"""Many threads, and many processes, on the same task names for a bounded time: no exception but
the expected not-found ones, every stored definition whole, no update lost, nothing held.

MORVANE_LONG_TESTS=1 runs each for a minute instead of a second or two."""

import os
import subprocess
import sys
import threading

import pytest

import morvane
from morvane import emulator

from . import workload

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

SECONDS = 60.0 if os.environ.get("MORVANE_LONG_TESTS") else 1.5
WORKLOAD = os.path.join(os.path.dirname(__file__), "workload.py")


def check_library(library, last_versions):
    stored, strays = workload.stored_definitions(library)
    assert strays == []
    for writer, version in last_versions.items():  # each writer's own task holds its last write
        assert stored.get(f"\\Own\\{writer}") == ((writer, version) if version else None)
    shared = {path.lower() for path in stored if not path.startswith("\\Own\\")}
    assert shared == {f"\\{name}".lower() for name in workload.SHARED_NAMES if morvane.task_exists(name)}


def test_eight_threads_of_mixed_calls_on_shared_names(fresh_task_library):
    barrier = threading.Barrier(8)
    results, failures = {}, []

    def work(writer):
        barrier.wait()
        try:
            results[writer] = workload.mixed_calls(writer, SECONDS, seed=writer)
        except BaseException as error:  # noqa: B036 - a PanicException must fail the test too
            failures.append(error)

    threads = [threading.Thread(target=work, args=(f"thread{index}",)) for index in range(8)]
    for thread in threads:
        thread.start()
    for thread in threads:
        thread.join()

    assert failures == []
    assert all(calls > 0 for calls, _ in results.values())
    check_library(fresh_task_library, {writer: version for writer, (_, version) in results.items()})
    assert emulator.outstanding() == {"objects": 0, "bstrs": 0, "apartments": 0, "buffers": 0, "libraries": 0, "mta_usages": 0}


def test_four_processes_of_mixed_calls_on_one_library(fresh_task_library):
    workers = {
        f"process{index}": subprocess.Popen(
            [sys.executable, WORKLOAD, str(fresh_task_library), "mixed", f"process{index}", str(SECONDS)],
            stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        for index in range(4)
    }
    last_versions = {}
    for writer, worker in workers.items():
        out, err = worker.communicate(timeout=SECONDS + 60)
        assert worker.returncode == 0, err
        calls, version = map(int, out.split())
        assert calls > 0
        last_versions[writer] = version
    check_library(fresh_task_library, last_versions)
