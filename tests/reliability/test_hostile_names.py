"""Names built to reach outside the task library, to break its file naming or to collide: none
creates, changes or deletes a file outside the library, and each is refused with the code Windows
gives, the documented ValueError, or is an ordinary task confined to the library."""

import hashlib
import os

import pytest

import morvane
from morvane import TaskSchedulerError

from module.task_xml import TASK_XML
from operations import SPECIFIED

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

INVALID_NAME = 0x8007007B  # HRESULT_FROM_WIN32(ERROR_INVALID_NAME)
TOO_LONG = 0x800700CE  # HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)
INVALID_ARGUMENT = 0x80070057
ACCESS_DENIED = 0x80070005

REFUSED = [
    # traversal in every spelling the separators allow
    "..", ".", "..\\victim", "..\\..\\victim", "a\\..\\..\\victim", "a\\.\\b", "../victim", "./victim",
    "..\\/victim", "a/../../victim", "\\..\\victim", "\\\\..\\victim",
    # absolute and drive paths, UNC, mixed separators
    "/etc/passwd", "/victim", "{outside}/victim", "{outside}\\victim", "C:\\victim", "C:victim",
    "\\\\server\\share\\victim", "a\\b/c", "a/b",
    # empty elements, white space at an element's edge, control and reserved characters
    "a\\", "a\\\\b", " a", "a ", " ", "a\tb", "a\nb", "a\x1fb",
    *(f"a{reserved}b" for reserved in '<>:"|?*'),
]
TOO_LONG_NAMES = ["x" * 10_000, "x" * 256, "a\\" + "b" * 300, "\\".join(["abc"] * 100)]
# Look-alikes of traversal and of the library's own file naming: ordinary tasks, kept inside.
ORDINARY = ["\\Rooted", "CON", "NUL", "a.", ".a", "..a", "a..", "%2e%2e", "..%2fvictim", "..\u2215victim",
            "\u2024\u2024", "\uff0e\uff0e", "c.x", "t.x", "d.x", "r.x", ".name", "~2E~2E", "x" * 255,
            "Zürich\\İstanbul", "a\\" + "b" * 250]


def snapshot(root, skip):
    """Every file and directory under root but skip, with its content's hash and its mtime."""
    seen = {}
    for folder, directories, files in os.walk(root):
        directories[:] = [entry for entry in directories if os.path.join(folder, entry) != str(skip)]
        for entry in directories + files:
            path = os.path.join(folder, entry)
            status = os.lstat(path)
            digest = None
            if os.path.isfile(path) and not os.path.islink(path):
                with open(path, "rb") as file:
                    digest = hashlib.sha256(file.read()).hexdigest()
            seen[path] = (status.st_mode, status.st_mtime_ns, digest)
    return seen


@pytest.fixture
def sandbox(tmp_path, fresh_task_library, monkeypatch):
    """Victim files around the library, and a working directory among them."""
    outside = tmp_path / "outside"
    (outside / "cwd").mkdir(parents=True)
    for victim in (outside / "victim", tmp_path / "victim", outside / "etc" / "passwd"):
        victim.parent.mkdir(exist_ok=True)
        victim.write_text("keep me")
    monkeypatch.chdir(outside / "cwd")
    fresh_task_library.mkdir(exist_ok=True)
    before = snapshot(tmp_path, fresh_task_library)
    yield str(outside)
    assert snapshot(tmp_path, fresh_task_library) == before


def outcomes(name):
    """What each of the four functions does with the name: a result, or the code it raised."""
    results = []
    for call in (lambda: morvane.register_xml(name, TASK_XML), lambda: morvane.task_exists(name),
                 lambda: morvane.run_task(name), lambda: morvane.delete_task(name)):
        try:
            results.append(call())
        except TaskSchedulerError as error:
            results.append(error.hresult)
    return results


def definitions(library):
    return sorted(os.path.relpath(os.path.join(folder, name), library)
                  for folder, _, files in os.walk(library) for name in files if name.startswith("t."))


@pytest.mark.parametrize("name", REFUSED, ids=repr)
def test_names_windows_refuses_are_refused_by_every_function(name, sandbox, fresh_task_library):
    assert outcomes(name.format(outside=sandbox)) == [INVALID_NAME] * 4
    assert definitions(fresh_task_library) == []


@pytest.mark.parametrize("name", TOO_LONG_NAMES, ids=lambda name: f"{len(name)} characters")
def test_names_too_long_are_refused_by_every_function(name, sandbox, fresh_task_library):
    assert outcomes(name) == [TOO_LONG] * 4
    assert definitions(fresh_task_library) == []


def test_the_root_folder_is_no_task(sandbox):
    assert outcomes("\\") == [INVALID_ARGUMENT] * 3 + [ACCESS_DENIED]


@pytest.mark.parametrize("name", ["\0", "..\0", "a\0\\..\\..\\victim", "/etc/passwd\0"], ids=repr)
def test_names_holding_nul_are_refused_before_the_service(name, sandbox):
    for operation in SPECIFIED:
        with pytest.raises(ValueError) as raised:
            operation.call(morvane, name)
        assert (str(raised.value), raised.value.__notes__) == ("embedded null character",
                                                               ["while processing 'task_name'"])


@pytest.mark.parametrize("name", ORDINARY, ids=repr)
def test_look_alikes_are_ordinary_tasks_inside_the_library(name, sandbox, fresh_task_library):
    assert outcomes(name) == [None, True, None, None]
    assert morvane.task_exists(name) is False
    assert definitions(fresh_task_library) == []


@pytest.mark.parametrize(
    "first, second, same",
    [
        ("Backup", "BACKUP", True),
        ("Folder\\Task", "FOLDER\\task", True),
        ("\\Task", "Task", True),
        ("straße", "STRASSE", False),  # upper-casing is per UTF-16 unit, as Windows' table
        ("a.b", "a~2Eb", False),  # the escape character itself is escaped
        ("a~", "a~7E", False),
        ("a b", "a~20b", False),
        ("t.x", "x", False),
        ("d.x\\y", "x\\y", False),
        ("x" * 254 + "a", "x" * 254 + "b", False),  # split into pieces, differing in the last one
        ("é", "\u0065\u0301", False),  # no Unicode normalisation
    ],
)
def test_names_meet_at_one_task_only_when_windows_would_say_so(first, second, same, sandbox):
    morvane.register_xml(first, TASK_XML)
    assert morvane.task_exists(second) is same
    morvane.register_xml(second, TASK_XML)
    morvane.delete_task(first)
    assert morvane.task_exists(second) is not same
