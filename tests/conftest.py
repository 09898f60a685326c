"""Gives every test its own emulated task library and a service without faults or latency, and
checks that each test gives back the COM objects, BSTRs and apartment entries it took and
misuses nothing."""

import sys
import types

import pytest

from windows_python import wine_gaps

# On Windows the real scheduler is used and there is nothing to reset; elsewhere the emulator
# must import, so that a package built without it fails here instead of skipping everything.
emulator = None
if sys.platform != "win32":
    from morvane import emulator


class _NoEmulator(types.ModuleType):
    """Stands in for morvane.emulator on Windows, so that a test module that imports it still
    collects its other tests; any use outside a test marked emulator fails that test by name."""

    def __getattr__(self, name):
        raise AttributeError(f"morvane.emulator.{name}: the emulator exists only where morvane talks to winemu; "
                             "a test that uses it is marked emulator")


if sys.platform == "win32":
    sys.modules.setdefault("morvane.emulator", _NoEmulator("morvane.emulator"))


def pytest_collection_modifyitems(config, items):
    """Where Windows' own scheduler answers, a test that needs the emulator is skipped with that
    reason, and one that Wine's service cannot pass is an expected failure (wine_gaps)."""
    if emulator is not None:
        return
    needs_emulator = pytest.mark.skip(reason="needs morvane.emulator, which exists only where morvane talks to winemu")
    for item in items:
        if item.get_closest_marker("emulator"):
            item.add_marker(needs_emulator)
    wine_gaps.mark(items)


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
    emulator.end_runs()  # no runner or action outlives its test
    emulator.clear_faults()
    emulator.set_latency(0)
    for computer in emulator.computers():
        emulator.remove_computer(computer.name)


@pytest.fixture(autouse=True)
def nothing_left_held():
    """Fails a test that leaves COM objects, BSTRs, apartment entries, buffers, library handles or
    multithreaded apartment usages held behind it, or that misused the platform (a violation)."""
    if emulator is None:
        yield
        return
    emulator.clear_violations()
    before = emulator.outstanding()
    yield
    after = emulator.outstanding()
    misuse = emulator.violations()
    emulator.clear_violations()
    assert after == before, f"platform resources still held after the test: {after}, before it: {before}"
    assert not misuse, f"the platform was misused: {misuse}"


@pytest.fixture(params=["function", "method"])
def runner(request):
    """Where a test calls the operations: the package's functions, each opening its own connection,
    or the methods of an open Scheduler, on its session's. Yields (that object, how a binding
    message names an operation of it)."""
    import morvane

    if request.param == "function":
        yield morvane, "{}"
        return
    with morvane.Scheduler() as scheduler:
        yield scheduler, "Scheduler.{}"
