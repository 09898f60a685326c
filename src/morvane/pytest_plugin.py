"""pytest plugin of morvane: the scheduled_tasks fixture, for testing code that manages tasks.

pytest loads this module through the ``pytest11`` entry point of the installed package; nothing
else imports it, so pytest stays out of morvane's runtime dependencies.

The ini option ``morvane_private_task_library`` gives every test the fixture, so that a test
that forgets to ask for it cannot write into the user's own task library.
"""

from __future__ import annotations

import pathlib
import sys
from collections.abc import Generator, Iterator

import pytest

__all__ = ["scheduled_tasks"]

_PRIVATE_LIBRARY_OPTION = "morvane_private_task_library"

# What each count of winemu's outstanding() stands for, as a report names it.
_RESOURCES = {
    "objects": "COM objects",
    "bstrs": "BSTRs",
    "apartments": "apartment entries (CoInitializeEx without CoUninitialize)",
    "buffers": "FormatMessageW buffers and HSTRINGs",
    "libraries": "library handles (LoadLibraryExA without FreeLibrary)",
    "mta_usages": "multithreaded apartment usages (CoIncrementMTAUsage without CoDecrementMTAUsage)",
}

# Whether the test's own call failed: a test that failed before its error path ran has nothing
# to learn from a fault that never struck.
_CALL_FAILED = pytest.StashKey[bool]()


def pytest_addoption(parser: pytest.Parser) -> None:
    parser.addini(
        _PRIVATE_LIBRARY_OPTION,
        type="bool",
        default=False,
        help="morvane: give every test a private task library of the emulated scheduler, as the "
        "scheduled_tasks fixture does",
    )


@pytest.hookimpl(wrapper=True)
def pytest_runtest_makereport(
    item: pytest.Item, call: pytest.CallInfo[None]
) -> Generator[None, pytest.TestReport, pytest.TestReport]:
    report = yield
    if report.when == "call":
        item.stash[_CALL_FAILED] = report.failed
    return report


@pytest.fixture(autouse=True)
def _morvane_private_task_library(request: pytest.FixtureRequest) -> None:
    # On Windows the real scheduler is used: there is no library to make private, and the
    # fixture would skip every test.
    if request.config.getini(_PRIVATE_LIBRARY_OPTION) and sys.platform != "win32":
        request.getfixturevalue("scheduled_tasks")


def _open_sessions() -> list[object]:
    """The morvane.Scheduler objects still open, found among what live objects refer to."""
    import gc

    from morvane import Scheduler

    found: dict[int, object] = {}
    for holder in gc.get_objects():
        for value in gc.get_referents(holder):
            if type(value) is Scheduler and not value.closed:
                found[id(value)] = value
    return list(found.values())


def _unclosed_lines(sessions: list[object]) -> list[str]:
    """A line per open session: where it was opened when tracemalloc can tell."""
    import tracemalloc

    lines = []
    for session in sessions:
        traceback = tracemalloc.get_object_traceback(session)
        if traceback:
            frame = traceback[-1]
            where = f"opened at {frame.filename}:{frame.lineno}"
        else:
            where = "where it was opened is shown with python -X tracemalloc"
        lines.append(f"a morvane.Scheduler was not closed ({where}): close() it, or open it in a with block")
    return lines


def _leftovers(before: dict[str, int], after: dict[str, int]) -> list[str]:
    """One line per kind of resource that the test took and did not give back."""
    return [
        f"{_RESOURCES.get(kind, kind)}: {count} held after the test, {before.get(kind, 0)} before it"
        for kind, count in after.items()
        if count != before.get(kind, 0)
    ]


@pytest.fixture
def scheduled_tasks(request: pytest.FixtureRequest, tmp_path: pathlib.Path) -> Iterator[pathlib.Path]:
    """An empty task library of the emulated scheduler, private to the test; yields its path.

    The emulated service starts without queued faults or latency. When the test ends, the runs
    of its tasks that still run are ended, faults and latency are cleared, the previous task library is restored, and the test is reported
    as an error, one line per problem, if it left COM objects, BSTRs, apartment entries,
    buffers, library handles or multithreaded apartment usages held in winemu, misused the platform, or passed while a fault
    that it queued with fail_next never struck (naming the calls). A morvane.Scheduler left open
    is named as such, with where it was opened when tracemalloc traces. Skips the test on
    Windows, where the real scheduler is used.
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
    computers_before = {computer.name for computer in emulator.computers()}
    # Sessions open before the test (a wider fixture's) are not the test's to close.
    open_before = {id(session) for session in _open_sessions()} if before.get("mta_usages", 0) else set()
    try:
        yield library
    finally:
        # The test's runs end with it: their runners and actions would outlive the test otherwise.
        emulator.end_runs()
        after = emulator.outstanding()
        if after != before:
            import gc

            gc.collect()  # a session held only in a reference cycle is closed by its collection
            after = emulator.outstanding()
        problems = []
        # A session holds a multithreaded apartment usage while it is open: say which session,
        # rather than leave the user to read its COM objects.
        if after.get("mta_usages", 0) > before.get("mta_usages", 0):
            sessions = [session for session in _open_sessions() if id(session) not in open_before]
            problems += _unclosed_lines(sessions)
        problems += _leftovers(before, after)
        problems += [f"platform misuse: {violation}" for violation in emulator.violations()]
        unfired = emulator.pending_fault_calls()
        if unfired and not request.node.stash.get(_CALL_FAILED, False):
            problems.append(
                f"fail_next: queued fault(s) never struck, for {', '.join(unfired)}: the error path they were set "
                "for never ran"
            )
        emulator.clear_violations()
        emulator.clear_faults()
        emulator.set_latency(0)
        for computer in emulator.computers():  # the computers the test added
            if computer.name not in computers_before:
                emulator.remove_computer(computer.name)
        emulator.set_task_library(previous)
    if problems:
        # pytrace=False: the lines say all there is; a traceback would show this fixture's source.
        pytest.fail("\n".join(problems), pytrace=False)
