"""The scheduled_tasks fixture as a user's pytest run sees it, through the installed entry point:
the example test of user code, an empty private library, the previous library and a clean
service afterwards, and a test that leaves winemu holding something reported."""

import os
import shutil
import subprocess
import sys
import textwrap
from pathlib import Path

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
        emulator.fail_next("GetTask", 0x80070005)
        emulator.set_latency(1)

    def test_then_the_previous_library_and_a_clean_service():
        assert emulator.task_library() == pathlib.Path(os.environ["MORVANE_TASK_LIBRARY"])
        started = time.monotonic()
        assert morvane.task_exists("Left") is False
        assert time.monotonic() - started < 1 and emulator.pending_faults() == 0

    def test_leaves_an_apartment_entered(scheduled_tasks):
        emulator.enter_apartment(True)
    '''
)


def test_a_users_pytest_run(tmp_path):
    for name in ("example_task.utf16.xml", "example_task.utf8.xml", "nightly_report.py", "test_nightly_report.py"):
        shutil.copy(EXAMPLES / name, tmp_path)
    (tmp_path / "test_fixture.py").write_text(USERS_TESTS)
    environment = dict(os.environ, MORVANE_TASK_LIBRARY=str(tmp_path / "default-library"))
    done = subprocess.run(
        [sys.executable, "-m", "pytest", "-p", "no:cacheprovider", "-rA", "-q", str(tmp_path)],
        cwd=tmp_path, env=environment, capture_output=True, text=True, timeout=120,
    )
    report = done.stdout + done.stderr
    assert done.returncode == 1, report
    assert "4 passed, 1 error" in report, report
    assert "ERROR test_fixture.py::test_leaves_an_apartment_entered" in report, report
    assert "the emulated scheduler still holds resources after the test" in report, report


def test_beside_this_suites_own_fixtures(scheduled_tasks, fresh_task_library):
    """The plugin's fixture is not autouse; asked for, it takes over from conftest's library."""
    assert scheduled_tasks != fresh_task_library and emulator.task_library() == scheduled_tasks
    assert morvane.task_exists("Anything") is False
