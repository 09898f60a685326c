"""Each task's and folder's security descriptor through the service: kept, defaulted, read and
replaced, and what it lets the caller (an administrator of the emulated computer) do."""

import tempfile

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import morvane
from morvane import TaskPermissionError, TaskSchedulerError, emulator

from operations import DAILY

INVALID_PARAMETER = 0x80070057

# SYSTEM owns these, so the caller holds no owner's rights over them: only the DACL speaks.
DESCRIPTORS = {
    "default": None,
    "read-only": "O:SYD:(A;;FA;;;SY)(A;;FR;;;BA)",
    "read and run": "O:SYD:(A;;FA;;;SY)(A;;FRFX;;;BA)",
    "denied": "O:SYD:(D;;FA;;;BA)(A;;FA;;;SY)(A;;FA;;;WD)",
    "empty DACL": "O:SYD:",
}


def listed(name):
    return any(info.name == name for info in morvane.list_tasks("\\"))


# What the caller tries on the task "T": a listing answers whether it shows the task.
OPERATIONS = {
    "listed": lambda: listed("T"),
    "info": lambda: morvane.task_info("T"),
    "xml": lambda: morvane.task_xml("T"),
    "security": lambda: morvane.task_security("T"),
    "run": lambda: morvane.run_task("T"),
    "stop": lambda: morvane.stop_task("T"),
    "disable": lambda: morvane.disable_task("T"),
    "register over": lambda: morvane.register_xml("T", DAILY),
    "set security": lambda: morvane.set_task_security("T", "O:BAD:(A;;FA;;;BA)"),
    "delete": lambda: morvane.delete_task("T"),
}

# Per descriptor, what each operation answers: "ok", "denied" (TaskPermissionError), or whether
# the listing shows the task. A reader may read the descriptor too (FR holds READ_CONTROL).
READ_ONLY = {"listed": True, "info": "ok", "xml": "ok", "security": "ok"} | dict.fromkeys(
    ["run", "stop", "disable", "register over", "set security", "delete"], "denied")
EXPECTED = {
    "default": dict.fromkeys(OPERATIONS, "ok") | {"listed": True},
    "read-only": READ_ONLY,
    "read and run": READ_ONLY | {"run": "ok", "stop": "ok"},
    "denied": dict.fromkeys(OPERATIONS, "denied") | {"listed": False},
    "empty DACL": dict.fromkeys(OPERATIONS, "denied") | {"listed": False},
}


def outcome(operation):
    try:
        answer = operation()
    except TaskPermissionError:
        return "denied"
    return answer if isinstance(answer, bool) else "ok"


@pytest.mark.parametrize(("descriptor", "operation"),
                         [(descriptor, operation) for descriptor in DESCRIPTORS for operation in OPERATIONS])
def test_what_a_descriptor_lets_the_caller_do(descriptor, operation):
    morvane.register_xml("T", DAILY)
    if DESCRIPTORS[descriptor] is not None:
        morvane.set_task_security("T", DESCRIPTORS[descriptor])
    assert outcome(OPERATIONS[operation]) == EXPECTED[descriptor][operation]


@pytest.mark.emulator
def test_a_running_task_the_caller_may_not_read_is_not_listed_as_running():
    morvane.register_xml("Seen", DAILY)
    morvane.register_xml("Hidden", DAILY)
    try:
        for name in ("Seen", "Hidden"):
            morvane.start_task(name)
        morvane.set_task_security("Hidden", DESCRIPTORS["denied"])
        assert {instance.name for instance in morvane.running_tasks()} <= {"Seen"}
    finally:
        emulator.end_runs()


def test_new_tasks_and_folders_get_the_default_and_keep_what_they_are_given():
    morvane.register_xml("T", DAILY)
    morvane.create_folder("Mine")
    morvane.create_folder("Given\\Deep", security="O:BAD:(A;;0x1f01ff;;;S-1-5-32-544)(A;;FR;;;AU)")
    # Made by an administrator: owned by Administrators, full access for them and SYSTEM.
    for sddl in (morvane.task_security("T"), morvane.folder_security("Mine")):
        assert sddl.startswith("O:BA") and "(A;;FA;;;BA)(A;;FA;;;SY)" in sddl
    # Kept as Windows writes it back; the folder made on the way has the default.
    assert morvane.folder_security("Given\\Deep") == "O:BAD:(A;;FA;;;BA)(A;;FR;;;AU)"
    assert morvane.folder_security("Given") == morvane.folder_security("Mine")
    # Any authenticated user may list the root and add to it.
    assert "(A;;0x1200af;;;AU)" in morvane.folder_security("\\")
    # A replaced definition keeps the task's descriptor.
    morvane.set_task_security("T", "O:BAD:(A;;FA;;;BA)")
    morvane.register_xml("T", DAILY)
    morvane.disable_task("T")
    assert morvane.task_security("T") == "O:BAD:(A;;FA;;;BA)"
    # The descriptor is no part of the definition, and a deleted folder takes it along.
    assert "security" not in morvane.task_xml("T")
    morvane.delete_folder("Given\\Deep")
    assert morvane.list_folders("Given") == []


@pytest.mark.parametrize("sddl", ["D:(A;;FA;;;", "O:XX", "D:(Q;;FA;;;BA)", "D:(A;;FA;;;S-1-x)"])
def test_a_malformed_descriptor_is_refused_and_changes_nothing(sddl):
    morvane.register_xml("T", DAILY)
    before = morvane.task_security("T")
    for call in (lambda: morvane.set_task_security("T", sddl), lambda: morvane.set_folder_security("\\", sddl),
                 lambda: morvane.create_folder("F", security=sddl)):
        with pytest.raises(TaskSchedulerError) as refused:
            call()
        assert refused.value.hresult & 0xFFFF0000 == 0x80070000 and not isinstance(refused.value, TaskPermissionError)
    assert morvane.task_security("T") == before
    assert morvane.list_folders() == []


def test_a_folder_the_caller_may_not_list_hides_itself_and_refuses_additions():
    morvane.create_folder("Closed")
    morvane.register_xml("Closed\\Job", DAILY)
    morvane.create_folder("Open")
    morvane.set_folder_security("Closed", "O:SYD:(A;;FA;;;SY)")
    assert morvane.list_folders() == ["\\Open"]
    with pytest.raises(TaskPermissionError):
        morvane.list_tasks("\\Closed")
    with pytest.raises(TaskPermissionError):
        morvane.create_folder("Closed\\Sub")
    # The task keeps its own descriptor: it is reached by its name, as on Windows.
    assert morvane.task_info("Closed\\Job").name == "Job"
    # A folder the caller may not delete stays.
    with pytest.raises(TaskPermissionError):
        morvane.delete_folder("Closed")
    morvane.set_folder_security("\\", "O:SYD:(A;;FA;;;SY)(A;;FR;;;BA)")
    with pytest.raises(TaskPermissionError):
        morvane.register_xml("New", DAILY)


@pytest.mark.emulator
def test_a_task_kept_before_descriptors_were_kept_has_the_default():
    morvane.register_xml("Old", DAILY)
    default = morvane.task_security("Old")
    (task_file,) = emulator.task_library().glob("t.*")
    path_line, security_line, definition = task_file.read_text(encoding="utf-8").split("\n", 2)
    assert security_line.startswith("security ")
    task_file.write_text(f"{path_line}\n{definition}", encoding="utf-8")
    assert morvane.task_security("Old") == default
    assert [info.name for info in morvane.list_tasks()] == ["Old"]
    morvane.run_task("Old")
    morvane.delete_task("Old")


def test_the_command_line_prints_and_replaces_descriptors(capsys):
    from tests.cli.test_command_line import command

    morvane.register_xml("T", DAILY)
    assert command(capsys, "set-security", "T", "O:BAD:(A;;FA;;;BA)(A;;FRFX;;;BU)") == (0, "", "")
    # Read and execute together have no letters of their own: Windows writes them as a number.
    assert command(capsys, "security", "T") == (0, "O:BAD:(A;;FA;;;BA)(A;;0x1200a9;;;BU)\n", "")
    assert command(capsys, "mkdir", "Ops", "--security", "O:BAD:(A;;FA;;;BA)") == (0, "", "")
    assert command(capsys, "security", "Ops", "--folder") == (0, "O:BAD:(A;;FA;;;BA)\n", "")
    assert command(capsys, "set-security", "\\", "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)", "--folder") == (0, "", "")
    assert morvane.folder_security("\\") == "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)"
    status, out, err = command(capsys, "set-security", "T", "D:(")
    assert (status, out) == (2, "") and "SetSecurityDescriptor failed" in err


# From the access control documentation alone: the DACL's ACEs are read in order, and the first
# one that names a right for one of the caller's SIDs decides it (deny refuses, allow grants); a
# right no ACE names is refused. The caller here is an administrator: Administrators, Everyone,
# Authenticated Users and Users are among its SIDs, SYSTEM is not.
RIGHTS = {"FA": 0x1F01FF, "FR": 0x120089, "FX": 0x1200A0, "FW": 0x120116, "SD": 0x10000}
CALLERS_SIDS = {"BA", "WD", "AU", "BU"}
READ_DATA = 0x1


def model_reads(aces):
    for kind, right, sid in aces:
        if sid in CALLERS_SIDS and RIGHTS[right] & READ_DATA:
            return kind == "A"
    return False


ACES = st.lists(st.tuples(st.sampled_from("AD"), st.sampled_from(sorted(RIGHTS)), st.sampled_from(["BA", "WD", "SY"])),
                max_size=4)


@pytest.mark.emulator
@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(ACES, min_size=1, max_size=5))
def test_a_listing_shows_what_the_model_lets_the_caller_read(tmp_path, dacls):
    emulator.set_task_library(tempfile.mkdtemp(dir=tmp_path))
    for index, aces in enumerate(dacls):
        morvane.register_xml(f"T{index}", DAILY)
        morvane.set_task_security(f"T{index}", "O:SYD:" + "".join(f"({k};;{r};;;{s})" for k, r, s in aces))
    expected = [f"T{index}" for index, aces in enumerate(dacls) if model_reads(aces)]
    assert [info.name for info in morvane.list_tasks()] == expected


# Kinds of caller against a task that the user "alice" registered with the default descriptor,
# which grants its registering account, Administrators and SYSTEM full access and no one else any.
CALLERS = {
    "owner": ("alice", False),
    "another user": ("bob", False),
    "administrator": ("root-admin", True),
}
CALLER_EXPECTED = {
    "owner": dict.fromkeys(OPERATIONS, "ok") | {"listed": True},
    "another user": dict.fromkeys(OPERATIONS, "denied") | {"listed": False},
    "administrator": dict.fromkeys(OPERATIONS, "ok") | {"listed": True},
}


@pytest.mark.emulator
@pytest.mark.parametrize(("caller", "operation"), [(caller, operation) for caller in CALLERS for operation in OPERATIONS])
def test_what_the_default_descriptor_lets_each_kind_of_caller_do(caller, operation):
    emulator.set_caller("alice", administrator=False)
    morvane.register_xml("T", DAILY)
    name, administrator = CALLERS[caller]
    emulator.set_caller(name, administrator=administrator)
    assert outcome(OPERATIONS[operation]) == CALLER_EXPECTED[caller][operation]
