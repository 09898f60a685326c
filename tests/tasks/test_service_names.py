"""Where the service says a task is: the URI it records, what a deletion by the command line may
remove, a session across a change of task library, and the module in a subinterpreter."""

import subprocess
import sys
import textwrap

import pytest

import morvane
from morvane import emulator

from ..cli.test_command_line import command
from .definitions import NAMESPACE, task_xml

pytestmark = pytest.mark.skipif(sys.platform == "win32", reason="winemu's task library")


def with_uri(uri):
    return task_xml().replace(f'xmlns="{NAMESPACE}">', f'xmlns="{NAMESPACE}"><RegistrationInfo>{uri}</RegistrationInfo>')


@pytest.mark.parametrize(
    "name, registration, recorded",
    [
        ("Renamed", "<URI>\\Original</URI>", "<URI>\\Renamed</URI>"),
        ("Tools\\Copy", "<URI>\\Original</URI>", "<URI>\\Tools\\Copy</URI>"),
        ("R&D", "<URI>\\Original</URI>", "<URI>\\R&amp;D</URI>"),
        ("Same", "<URI>\\Same</URI>", "<URI>\\Same</URI>"),
        ("Nameless", "<Author>me</Author>", "<Author>me</Author>"),
    ],
)
def test_the_uri_says_where_the_task_was_registered(name, registration, recorded):
    definition = with_uri(registration)
    morvane.register_xml(name, definition)
    stored = morvane.task_xml(name)
    assert f"<RegistrationInfo>{recorded}</RegistrationInfo>" in stored
    if registration == recorded:  # nothing to change: kept as written
        assert stored == definition


def test_a_definition_registered_again_under_its_export_keeps_its_place():
    morvane.register_xml("First", with_uri("<URI>\\First</URI>"))
    morvane.register_xml("Second", morvane.task_xml("First"))
    assert "<URI>\\Second</URI>" in morvane.task_xml("Second")
    assert "<URI>\\First</URI>" in morvane.task_xml("First")


@pytest.mark.parametrize("content", [[], ["Tools\\Clean"]])
def test_delete_on_the_command_line_never_removes_a_folder(capsys, content):
    morvane.register_xml("Tools\\Kept", task_xml())
    morvane.delete_task("Tools\\Kept")  # the folder stays, empty
    for name in content:
        morvane.register_xml(name, task_xml())
    status, _, err = command(capsys, "delete", "Tools")
    assert status == 3 and "folder is never deleted" in err
    morvane.register_xml("Tools\\Later", task_xml())  # still a folder, not a task's name
    assert not morvane.task_exists("Tools")
    assert command(capsys, "delete", "Tools\\Later")[0] == 0


def test_a_session_acts_on_the_library_chosen_after_it_opened(tmp_path):
    morvane.register_xml("Before", task_xml())
    with morvane.Scheduler() as scheduler:
        folder = scheduler.list_tasks()  # objects made under the first library
        emulator.set_task_library(tmp_path / "second")
        assert scheduler.list_tasks() == [] and not scheduler.task_exists("Before")
        scheduler.register_xml("After", task_xml())
        assert [info.name for info in scheduler.list_tasks()] == ["After"]
    assert (tmp_path / "second").is_dir() and [info.name for info in folder] == ["Before"]


def test_a_subinterpreter_is_refused_and_the_main_interpreter_keeps_working():
    script = textwrap.dedent(
        """
        import _interpreters, morvane
        from morvane import emulator
        import tempfile
        emulator.set_task_library(tempfile.mkdtemp())
        for config in ("legacy", "isolated"):
            interpreter = _interpreters.create(config)
            failure = _interpreters.exec(interpreter, "import morvane._morvane_tasks")
            _interpreters.destroy(interpreter)
            print(failure.type.__name__, failure.msg)
        morvane.register_xml("T", "<Task xmlns='http://schemas.microsoft.com/windows/2004/02/mit/task'>"
                             "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>")
        print(morvane.list_tasks()[0].state.name)
        """
    )
    done = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=60)
    assert done.returncode == 0, done.stderr
    legacy, isolated, state = done.stdout.splitlines()
    assert legacy.startswith("ImportError") and "main interpreter" in legacy
    assert isolated.startswith("ImportError")
    assert state == "READY"
