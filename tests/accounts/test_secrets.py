"""A password never leaves the call that hands it over: not in an exception's text, arguments or
notes, the call journal, a run record, the stored task, the accounts the emulator shows or keeps;
and the BSTR that carried it is wiped before it is freed, on every way out."""

from __future__ import annotations

import pytest

import morvane
from morvane import LogonType, emulator

pytestmark = pytest.mark.emulator

SECRET = "Tr0ub4dor&3-correct-horse"
DEFINITION = """<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Actions><Exec><Command>/bin/true</Command></Exec></Actions>
</Task>"""


def everything_said(error: BaseException) -> str:
    """What an exception can show: its text, repr, arguments, notes and what it was chained to."""
    parts = [str(error), repr(error), repr(error.args), *getattr(error, "__notes__", [])]
    for linked in (error.__cause__, error.__context__):
        if linked is not None:
            parts.append(everything_said(linked))
    return "\n".join(parts)


def wrong_password():
    emulator.add_user("alice", "another-one")
    morvane.register_task("Job", DEFINITION, user="alice", password=SECRET)


def right_password_then_run():
    emulator.add_user("alice", SECRET)
    morvane.register_task("Job", DEFINITION, user="alice", password=SECRET)
    morvane.start_task("Job").wait(timeout=10)


def fault_after_the_bstr_is_made():
    emulator.add_user("alice", SECRET)
    emulator.fail_next("RegisterTask", 0x80070005)
    morvane.register_task("Job", DEFINITION, user="alice", password=SECRET)


def lone_surrogate_in_the_password():
    morvane.register_task("Job", DEFINITION, user="alice", password=SECRET + "\ud800")


def nul_in_the_password():
    morvane.register_task("Job", DEFINITION, user="alice", password=SECRET + "\0")


def session_with_a_wrong_password():
    emulator.add_user("alice", "another-one")
    with morvane.Scheduler() as scheduler:
        scheduler.register_task("Job", DEFINITION, user="alice", password=SECRET, logon_type=LogonType.PASSWORD)


# Each way a password travels, and whether the call fails.
WAYS = [
    (wrong_password, morvane.TaskSchedulerError),
    (right_password_then_run, None),
    (fault_after_the_bstr_is_made, morvane.TaskPermissionError),
    (lone_surrogate_in_the_password, ValueError),
    (nul_in_the_password, ValueError),
    (session_with_a_wrong_password, morvane.TaskSchedulerError),
]


@pytest.mark.parametrize(("way", "raised"), WAYS, ids=[way.__name__ for way, _ in WAYS])
def test_a_password_never_leaks(way, raised, fresh_task_library, capfd):
    wipes = emulator.call_count("SecureZeroMemory")
    with emulator.journal() as calls:
        if raised is None:
            way()
            said = ""
        else:
            with pytest.raises(raised) as caught:
                way()
            said = everything_said(caught.value)
    places = {
        "exception": said,
        "journal": "\n".join(f"{call.call}({call.arguments})" for call in calls),
        "runs": repr(emulator.runs("Job")) if morvane.task_exists("Job") else "",
        "stored task": morvane.task_xml("Job") if morvane.task_exists("Job") else "",
        "emulator accounts": repr(emulator.accounts()),
        "library files": "\n".join(path.read_bytes().decode("utf-8", "replace")
                                   for path in fresh_task_library.rglob("*") if path.is_file()),
        "output": "".join(capfd.readouterr()),
    }
    assert {place: SECRET in text for place, text in places.items()} == dict.fromkeys(places, False)
    registrations = [call for call in calls if call.call == "RegisterTask"]
    if registrations:
        # The service was handed the password, and the journal says only that there was one;
        # its BSTR was wiped (and its UTF-16 staging text) before it was freed.
        assert all("password=(hidden)" in call.arguments for call in registrations)
        assert emulator.call_count("SecureZeroMemory") - wipes >= 2
