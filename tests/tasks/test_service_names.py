"""Where the service says a task is: the URI it records, what a deletion by the command line may
remove, a session across a change of task library, and the module in a subinterpreter."""

import datetime
import os
import subprocess
import sys
import sysconfig
import textwrap
import time

import pytest

import morvane
from morvane import emulator

from morvane.cli import main
from .definitions import NAMESPACE, calendar_trigger, task_xml

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
    assert main(["delete", "Tools"]) == 3 and "delete removes tasks only" in capsys.readouterr().err
    morvane.register_xml("Tools\\Later", task_xml())  # still a folder, not a task's name
    assert not morvane.task_exists("Tools")
    assert main(["delete", "Tools\\Later"]) == 0


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
    # The module's own message; a free-threaded CPython refuses with its own before the module runs.
    assert legacy.startswith("ImportError")
    assert "main interpreter" in legacy or sysconfig.get_config_var("Py_GIL_DISABLED")
    assert isolated.startswith("ImportError")
    assert state == "READY"


def test_listing_holds_no_definition_beyond_the_one_it_reads():
    # In a fresh process, so that the peak measured is the listing's: 48 definitions of 900 kB
    # each, where a listing that kept every text grew the process by 36 MB.
    script = textwrap.dedent(
        """
        import resource, sys, morvane
        from morvane import emulator
        emulator.set_task_library(sys.argv[1])
        before = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        listed = morvane.list_tasks(recursive=True)
        after = resource.getrusage(resource.RUSAGE_SELF).ru_maxrss
        print(len(listed), (after - before) // 1024)
        """
    )
    filler = "x" * 900_000
    definition = task_xml().replace(f'xmlns="{NAMESPACE}">',
                                    f'xmlns="{NAMESPACE}"><RegistrationInfo><Description>{filler}</Description>'
                                    "</RegistrationInfo>")
    for index in range(48):
        morvane.register_xml(f"Big\\Task{index}", definition)
    done = subprocess.run([sys.executable, "-c", script, str(emulator.task_library())], capture_output=True,
                          text=True, timeout=120)
    assert done.returncode == 0, done.stderr
    count, grown_mb = map(int, done.stdout.split())
    assert count == 48 and grown_mb < 16, f"the listing grew the process by {grown_mb} MB"


def time_trigger(start):
    return f"<TimeTrigger><StartBoundary>{start}</StartBoundary></TimeTrigger>"


NEXT_YEAR = datetime.date.today().year + 1
DEFINITIONS = {
    "hourly": task_xml(triggers=calendar_trigger("2026-03-02T06:00:00", interval="PT1H", duration="P1D")),
    "daily": task_xml(triggers=calendar_trigger("2026-03-02T06:30:00")),
    "once, to come": task_xml(triggers=time_trigger(f"{NEXT_YEAR}-07-01T12:00:00")),
    "once, gone": task_xml(triggers=time_trigger("2020-07-01T12:00:00")),
    "disabled": task_xml(triggers=calendar_trigger("2026-03-02T06:30:00"), settings="<Enabled>false</Enabled>"),
    "no trigger": task_xml(),
}


@pytest.fixture
def zone():
    """Sets the process's time zone; the one before comes back after the test."""
    before = os.environ.get("TZ")

    def choose(name):
        os.environ["TZ"] = name
        time.tzset()

    yield choose
    if before is None:
        os.environ.pop("TZ", None)
    else:
        os.environ["TZ"] = before
    time.tzset()


def test_listed_next_run_times_agree_with_task_info_again_and_again(zone):
    """A listing's next run times, known from an earlier listing or not, are those task_info
    computes: across listings, a replaced definition and a change of time zone."""
    def agree():
        listed = {info.name: info.next_run_time for info in morvane.list_tasks()}
        assert listed == {name: morvane.task_info(name).next_run_time for name in DEFINITIONS}

    zone("Europe/Berlin")
    for name, definition in DEFINITIONS.items():
        morvane.register_xml(name, definition)
    agree()
    agree()  # known from the first listing
    zone("America/New_York")
    agree()
    morvane.register_xml("daily", DEFINITIONS["hourly"])
    morvane.register_xml("hourly", DEFINITIONS["disabled"])
    agree()
    assert {info.name: info.next_run_time for info in morvane.list_tasks()}["hourly"] is None
