"""pytest plugin of morvane: the scheduled_tasks fixture, for testing code that manages tasks.

pytest loads this module through the ``pytest11`` entry point of the installed package; nothing
else imports it, so pytest stays out of morvane's runtime dependencies.
"""

from __future__ import annotations

import pathlib
import sys
from collections.abc import Iterator

import pytest

__all__ = ["scheduled_tasks"]


@pytest.fixture
def scheduled_tasks(tmp_path: pathlib.Path) -> Iterator[pathlib.Path]:
    """An empty task library of the emulated scheduler, private to the test; yields its path.

    The emulated service starts without queued faults or latency. When the test ends, faults
    and latency are cleared, the previous task library is restored, and the test is reported
    as an error if it left COM objects, BSTRs, apartment entries, buffers or library handles
    held in winemu, or misused the platform. Skips the test on Windows, where the real
    scheduler is used.
    """
    if sys.platform == "win32":
        pytest.skip("the emulated scheduler is not used on Windows")
    # Imported here: loading the plugin must not load winemu into every pytest run.
    from morvane import emulator

    previous = emulator.task_library()
    library = tmp_path / "scheduled-tasks"
    emulator.set_task_library(library)
    emulator.clear_faults()
    emulator.set_latency(0)
    emulator.clear_violations()
    before = emulator.outstanding()
    try:
        yield library
    finally:
        after = emulator.outstanding()
        misuse = emulator.violations()
        emulator.clear_violations()
        emulator.clear_faults()
        emulator.set_latency(0)
        emulator.set_task_library(previous)
    if after != before:
        pytest.fail(f"the emulated scheduler still holds resources after the test: {after}, before it: {before}")
    if misuse:
        pytest.fail(f"the test misused the platform: {misuse}")
