"""The scheduled_tasks fixture as a user's pytest run sees it, through the installed entry point:
the example test of user code, an empty private library, the previous library and a clean
service afterwards, a test that leaves winemu holding something or whose fault never struck
reported in one line, and the ini option that gives every test a private library."""

import os
import re
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

import pytest

import morvane
from morvane import emulator

EXAMPLES = Path(__file__).parents[2] / "examples"

USERS_TESTS = textwrap.dedent(
    '''
    import os, pathlib, time
    import morvane
    from morvane import emulator

    XML = morvane.read_task_xml("example_task.utf8.xml")

    def test_empty_private_library(scheduled_tasks):
        assert emulator.task_library() == scheduled_tasks
        assert not scheduled_tasks.exists() or not any(scheduled_tasks.iterdir())
        morvane.register_xml("Left", XML)
        emulator.set_latency(1)

    def test_whose_fault_never_struck(scheduled_tasks):
        emulator.fail_next("GetTask", 0x80070005)

    def test_then_the_previous_library_and_a_clean_service():
        assert emulator.task_library() == pathlib.Path(os.environ["MORVANE_TASK_LIBRARY"])
        started = time.monotonic()
        assert morvane.task_exists("Left") is False
        assert time.monotonic() - started < 1 and emulator.pending_faults() == 0

    def test_leaves_an_apartment_entered(scheduled_tasks):
        emulator.enter_apartment(True)

    def test_that_fails_before_its_fault_strikes(scheduled_tasks):
        emulator.fail_next("RunEx", 0x80070005)
        assert False, "failed first"

    KEPT = []

    def test_leaves_a_session_open(scheduled_tasks):
        import tracemalloc
        tracemalloc.start()
        KEPT.append(morvane.Scheduler())
        KEPT.append(morvane.Scheduler())  # the second one line below the first

    def test_whose_session_is_closed_by_its_collection(scheduled_tasks):
        cycle = [morvane.Scheduler()]
        cycle.append(cycle)
    '''
)

FORGETFUL_TESTS = textwrap.dedent(
    '''
    import morvane, pytest

    @pytest.mark.parametrize("round", [1, 2])
    def test_without_the_fixture(round):
        assert not morvane.task_exists("Forgetful")
        morvane.register_xml("Forgetful", morvane.read_task_xml("example_task.utf8.xml"))
    '''
)


def run_pytest(directory, *arguments):
    """Runs pytest in directory as a user would; returns its exit status and report."""
    # Wide enough for the summary lines to be whole.
    environment = dict(os.environ, MORVANE_TASK_LIBRARY=str(directory / "default-library"), COLUMNS="300")
    done = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rA", "-q", *arguments, str(directory)],
        cwd=directory, env=environment, capture_output=True, text=True, timeout=120,
    )
    return done.returncode, done.stdout + done.stderr


def test_a_users_pytest_run(tmp_path):
    for name in ("example_task.utf16.xml", "example_task.utf8.xml", "nightly_report.py", "test_nightly_report.py"):
        shutil.copy(EXAMPLES / name, tmp_path)
    (tmp_path / "test_fixture.py").write_text(USERS_TESTS)
    status, report = run_pytest(tmp_path)
    assert status == 1, report
    assert "1 failed, 7 passed, 3 errors" in report, report
    # One line per problem, and none of the fixture's source.
    assert teardown_error(report, "test_leaves_an_apartment_entered") == (
        "apartment entries (CoInitializeEx without CoUninitialize): 1 held after the test, 0 before it"
    )
    assert teardown_error(report, "test_whose_fault_never_struck") == (
        "fail_next: queued fault(s) never struck, for GetTask: the error path they were set for never ran"
    )
    # Each session by where it was opened, before the resources that it holds.
    first, second, *held = teardown_error(report, "test_leaves_a_session_open").splitlines()
    opened = "a morvane.Scheduler was not closed (opened at {}): close() it, or open it in a with block"
    line = USERS_TESTS.splitlines().index("    KEPT.append(morvane.Scheduler())") + 1  # lines count from 1
    assert {first, second} == {opened.format(f"{tmp_path / 'test_fixture.py'}:{number}") for number in (line, line + 1)}
    assert held and all("held after the test" in line for line in held)
    assert "ERROR test_fixture.py::test_that_fails_before_its_fault_strikes" not in report, report


def teardown_error(report, test):
    """What the report says under the heading of a test's error at teardown."""
    section = report.split(f" ERROR at teardown of {test} ", 1)[1].split("\n", 1)[1]
    return re.split(r"\n[_=]{3}", section, maxsplit=1)[0]


def test_the_ini_option_gives_every_test_a_private_library(tmp_path):
    shutil.copy(EXAMPLES / "example_task.utf8.xml", tmp_path)
    (tmp_path / "test_forgetful.py").write_text(FORGETFUL_TESTS)
    assert run_pytest(tmp_path)[0] == 1  # the second round finds the first one's task
    assert any((tmp_path / "default-library").iterdir())
    shutil.rmtree(tmp_path / "default-library")
    (tmp_path / "pytest.ini").write_text("[pytest]\nmorvane_private_task_library = true\n")
    status, report = run_pytest(tmp_path)
    assert status == 0 and "2 passed" in report, report
    assert not (tmp_path / "default-library").exists()


@pytest.mark.emulator
def test_beside_this_suites_own_fixtures(scheduled_tasks, fresh_task_library):
    """The plugin's fixture is not autouse; asked for, it takes over from conftest's library."""
    assert scheduled_tasks != fresh_task_library and emulator.task_library() == scheduled_tasks
    assert morvane.task_exists("Anything") is False
