"""The folder verbs: mkdir, rmdir and folders, their exit statuses and one-line errors."""

import json

import pytest

import morvane

from .definitions import TASK_XML
from .test_command_line import command


@pytest.fixture
def folders():
    morvane.register_xml("Backup", TASK_XML)
    morvane.create_folder("Ops\\Nightly")
    morvane.register_xml("Ops\\Job", TASK_XML)


def test_mkdir_folders_rmdir(capsys, folders):
    assert command(capsys, "mkdir", "Ops\\Weekly\\Deep") == (0, "", "")
    assert command(capsys, "folders") == (0, "\\Ops\n", "")
    assert command(capsys, "folders", "ops", "-r") == (0, "\\Ops\\Nightly\n\\Ops\\Weekly\n\\Ops\\Weekly\\Deep\n", "")
    status, out, err = command(capsys, "folders", "-r", "--json")
    assert (status, json.loads(out), err) == (0, ["\\Ops", "\\Ops\\Nightly", "\\Ops\\Weekly", "\\Ops\\Weekly\\Deep"], "")
    assert command(capsys, "rmdir", "Ops\\Weekly\\Deep") == (0, "", "")
    assert morvane.list_folders("Ops") == ["\\Ops\\Nightly", "\\Ops\\Weekly"]


@pytest.mark.parametrize(
    "argv, status, message",
    [
        (["mkdir", "Ops"], 7, "morvane mkdir 'Ops': CreateFolder failed: Cannot create a file when that file "
                              "already exists. (0x800700B7)"),
        (["mkdir", "Backup"], 7, "(0x800700B7)"),
        (["mkdir", "Ops\\"], 2, "(0x8007007B): the name has an empty part"),
        (["rmdir", "Ops"], 8, "morvane rmdir 'Ops': DeleteFolder failed: The directory is not empty. (0x80070091)"),
        (["rmdir", "Missing"], 3, "DeleteFolder failed: The system cannot find the file specified. (0x80070002)"),
        (["rmdir", "Backup"], 3, "morvane rmdir 'Backup': this is a task, not a folder: rmdir removes empty "
                                 "folders only"),
        (["rmdir", "\\"], 2, "morvane rmdir '\\': the root folder cannot be removed"),
        (["folders", "Missing"], 3, "morvane folders 'Missing': GetFolder failed:"),
    ],
    ids=["exists", "a task's name", "trailing backslash", "not empty", "missing", "a task", "root",
         "list missing"],
)
def test_failures_are_one_line_with_their_status(capsys, folders, argv, status, message):
    got_status, out, err = command(capsys, *argv)
    assert (got_status, out) == (status, "")
    assert message in err and err.count("\n") == 1
    assert morvane.task_exists("Backup") and morvane.list_folders("Ops") == ["\\Ops\\Nightly"]


def test_an_empty_path_is_refused_before_the_service(capsys):
    status, _, err = command(capsys, "mkdir", "")
    assert status == 2 and "the folder's name is empty" in err


def test_rmdir_names_the_folder_a_shell_stripped_of_backslashes(capsys, folders):
    status, _, err = command(capsys, "rmdir", "OpsNightly")
    assert status == 3
    assert "did you mean \\Ops\\Nightly? A shell drops the backslashes" in err
    assert "morvane rmdir 'Ops\\Nightly'" in err
