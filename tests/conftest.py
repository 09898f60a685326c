"""Gives every test its own emulated task library and a service without faults or latency."""

import pytest

try:
    from morvane import emulator
except ImportError:  # on Windows the real scheduler is used and there is nothing to reset
    emulator = None


@pytest.fixture(autouse=True)
def fresh_task_library(tmp_path):
    if emulator is None:
        yield None
        return
    library = tmp_path / "task-library"
    emulator.set_task_library(library)
    emulator.clear_faults()
    emulator.set_latency(0)
    yield library
    emulator.clear_faults()
    emulator.set_latency(0)
