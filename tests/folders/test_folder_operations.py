"""create_folder, delete_folder and list_folders, as functions and as Scheduler methods: what they
make, refuse and list, and how the service's refusals reach Python."""

import pytest

import morvane
from morvane import TaskPermissionError, TaskSchedulerError

from tasks.definitions import task_xml

ALREADY_EXISTS = 0x800700B7
NOT_EMPTY = 0x80070091
FILE_NOT_FOUND = 0x80070002
PATH_NOT_FOUND = 0x80070003
INVALID_NAME = 0x8007007B
INVALID_ARGUMENT = 0x80070057
NOT_A_FOLDER = 0x8007010B  # ERROR_DIRECTORY


def test_folders_are_made_listed_and_removed(runner):
    target, _ = runner
    assert target.create_folder("Ops\\Nightly\\Deep") is None  # the missing folders on its way too
    target.create_folder("\\ops\\Weekly")  # the spelling of what was there stays
    target.create_folder("Apps")
    assert target.list_folders() == ["\\Apps", "\\Ops"]
    assert target.list_folders("\\", recursive=True) == [
        "\\Apps", "\\Ops", "\\Ops\\Nightly", "\\Ops\\Nightly\\Deep", "\\Ops\\Weekly"]
    # A path without a leading backslash is from the root all the same.
    assert target.list_folders("OPS") == target.list_folders("\\Ops") == ["\\Ops\\Nightly", "\\Ops\\Weekly"]
    assert target.delete_folder("Ops\\Nightly\\Deep") is None
    assert target.list_folders("Ops", recursive=True) == ["\\Ops\\Nightly", "\\Ops\\Weekly"]


def test_folders_hold_tasks_and_list_none_of_them(runner):
    target, _ = runner
    target.create_folder("Ops")
    morvane.register_xml("Ops\\Backup", task_xml())
    assert target.list_folders("Ops") == []
    assert [info.path for info in target.list_tasks("Ops")] == ["\\Ops\\Backup"]


@pytest.mark.parametrize(
    "call, hresult, operation",
    [
        (lambda t: t.create_folder("Ops"), ALREADY_EXISTS, "CreateFolder"),
        (lambda t: t.create_folder("Backup"), ALREADY_EXISTS, "CreateFolder"),  # a task's name
        (lambda t: t.create_folder("\\"), INVALID_ARGUMENT, "CreateFolder"),
        (lambda t: t.create_folder("Ops\\"), INVALID_NAME, "CreateFolder"),
        (lambda t: t.create_folder("a/b"), INVALID_NAME, "CreateFolder"),
        (lambda t: t.delete_folder("Ops"), NOT_EMPTY, "DeleteFolder"),
        (lambda t: t.delete_folder("Missing"), FILE_NOT_FOUND, "DeleteFolder"),
        (lambda t: t.delete_folder("Missing\\Deeper"), PATH_NOT_FOUND, "DeleteFolder"),
        (lambda t: t.delete_folder("Backup"), NOT_A_FOLDER, "DeleteFolder"),
        (lambda t: t.list_folders("Missing"), FILE_NOT_FOUND, "GetFolder"),
        (lambda t: t.list_folders("Backup"), FILE_NOT_FOUND, "GetFolder"),
    ],
    ids=["exists", "task's name", "root", "trailing backslash", "slash", "not empty", "missing", "path missing",
         "a task", "list missing", "list a task"],
)
def test_refusals_raise_the_service_answer(runner, call, hresult, operation):
    target, _ = runner
    morvane.register_xml("Backup", task_xml())
    morvane.register_xml("Ops\\Job", task_xml())
    with pytest.raises(TaskSchedulerError) as raised:
        call(target)
    assert type(raised.value) is TaskSchedulerError
    assert (raised.value.hresult, raised.value.operation) == (hresult, operation)
    assert morvane.task_exists("Backup") and morvane.list_folders() == ["\\Ops"]


@pytest.mark.parametrize("path", ["", "\\"], ids=["empty", "backslash"])
def test_the_root_cannot_be_deleted(runner, path):
    target, _ = runner
    with pytest.raises(TaskPermissionError) as raised:
        target.delete_folder(path)
    assert (raised.value.hresult, raised.value.operation) == (0x80070005, "DeleteFolder")


def test_arguments_are_checked_before_the_service(runner):
    target, _ = runner
    with pytest.raises(ValueError, match="embedded null character") as raised:
        target.delete_folder("Ops\0")
    assert raised.value.__notes__ == ["while processing 'path'"]
    with pytest.raises(TypeError) as raised:
        target.list_folders(recursive=1)
    assert raised.value.__notes__ == ["while processing 'recursive'"]
