"""The morvane command line: each verb's success and failure, every exit status, task files in
each encoding and from standard input, and one line on standard error without a traceback."""

import codecs
import datetime
import io
import os
import shlex
import signal
import subprocess
import sys
from pathlib import Path

import pytest

import morvane
from morvane import emulator
from morvane.cli import main

from .definitions import TASK_XML, UTF16_FILE

ACCESS_DENIED = 0x80070005
SERVER_UNAVAILABLE = 0x800706BA


def command(capsys, *argv):
    """Runs the command line in this process; returns (status, stdout, stderr)."""
    try:
        status = main(list(argv))
    except SystemExit as exit:  # argparse: usage errors, --help, --version
        status = exit.code
    captured = capsys.readouterr()
    return status, captured.out, captured.err


@pytest.fixture
def registered():
    morvane.register_xml("Backup", TASK_XML)


def library_contents():
    """The library's files, the listing facts the service keeps for the next process (.listing) aside."""
    library = emulator.task_library()
    return {path: path.read_bytes() for path in library.rglob("*")
            if path.is_file() and not path.relative_to(library).parts[0] == ".listing"}


FILES = {
    "utf16le.xml": UTF16_FILE,
    "utf16be.xml": codecs.BOM_UTF16_BE + ('<?xml version="1.0" encoding="UTF-16"?>' + TASK_XML).encode("utf-16-be"),
    "utf8bom.xml": codecs.BOM_UTF8 + ('<?xml version="1.0" encoding="UTF-8"?>' + TASK_XML).encode(),
    "utf8.xml": TASK_XML.encode(),
    "broken.xml": b"<Task>\xff</Task>",
    "malformed.xml": b"<Task/>",
    "no_actions.xml": TASK_XML.split("<Actions")[0].encode() + b"\n<Actions/></Task>",
    "empty.xml": b"",
    "blank.xml": codecs.BOM_UTF16_LE + " \r\n".encode("utf-16-le"),
    "utf32.xml": codecs.BOM_UTF32_LE + TASK_XML.encode("utf-32-le"),
    # One action more than the service takes.
    "many_actions.xml": TASK_XML.replace("<Exec>", "<Exec><Command>x</Command></Exec>" * 32 + "<Exec>", 1).encode(),
    # Refused by the task schema, as on Windows: an element Exec does not hold, a date that is none.
    "bogus_element.xml": TASK_XML.replace("</Command>", "</Command><Bogus/>").encode(),
    "not_a_date.xml": TASK_XML.replace(
        "<Actions>", "<Triggers><TimeTrigger><StartBoundary>yesterday</StartBoundary></TimeTrigger></Triggers><Actions>"
    ).encode(),
}


@pytest.fixture
def files(tmp_path, monkeypatch):
    for name, data in FILES.items():
        (tmp_path / name).write_bytes(data)
    # Libraries that are not private: one that others can write to, one of another user.
    (tmp_path / "shared").mkdir(mode=0o777)
    (tmp_path / "shared").chmod(0o777)
    (tmp_path / "others").mkdir()
    if os.geteuid() == 0:
        os.chown(tmp_path / "others", 65534, 65534)
    monkeypatch.chdir(tmp_path)


@pytest.mark.parametrize("file", ["utf16le.xml", "utf16be.xml", "utf8bom.xml", "utf8.xml"])
def test_register_reads_each_encoding(capsys, files, file):
    assert command(capsys, "register", "Folder\\Backup", file) == (0, "", "")
    assert command(capsys, "exists", "folder\\BACKUP") == (0, "", "")


def test_register_creates_only_or_updates_only_when_asked(capsys, tmp_path):
    file = str(tmp_path / "task.xml")
    Path(file).write_text(TASK_XML)
    if morvane.task_exists("Modes"):  # where one service keeps every test's tasks
        morvane.delete_task("Modes")
    assert command(capsys, "register", "Modes", file, "--update-only")[0] == 3
    assert command(capsys, "register", "Modes", file, "--create-only") == (0, "", "")
    assert command(capsys, "register", "Modes", file, "--update-only") == (0, "", "")
    assert command(capsys, "register", "Modes", file) == (0, "", "")  # either, by default
    status, _, err = command(capsys, "register", "Modes", file, "--create-only", "--update-only")
    assert status == 2 and "not allowed with argument" in err
    morvane.delete_task("Modes")


def test_register_reads_standard_input(capsys, monkeypatch):
    monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(UTF16_FILE)))
    assert command(capsys, "register", "Backup", "-") == (0, "", "")
    assert morvane.task_exists("Backup")


@pytest.mark.emulator
def test_run_runs_and_delete_deletes(capsys):
    arguments = '<Arguments>"two words" two words</Arguments>'
    morvane.register_xml("Backup", TASK_XML.replace("</Command>", "</Command>" + arguments))
    assert command(capsys, "runs", "Backup") == (0, "", "")  # registered, never run
    assert command(capsys, "run", "Backup") == (0, "", "")
    assert emulator.wait_runs("Backup") == 0
    status, out, err = command(capsys, "runs", "Backup")
    [record] = emulator.runs("Backup")
    assert (status, err) == (0, "") and out.count("\n") == 1
    started, line = out.split(" ", 1)
    # Local time with its offset, to the second; arguments quoted as the service split them.
    assert datetime.datetime.fromisoformat(started).timestamp() == int(record.time)
    assert datetime.datetime.fromisoformat(started).utcoffset() is not None
    ended = datetime.datetime.fromtimestamp(record.end_time).astimezone().isoformat(timespec="seconds")
    assert line == f'/bin/true "two words" two words (pid {record.pid}, ended {ended}, exit code 0)\n'
    assert command(capsys, "delete", "Backup") == (0, "", "")
    assert command(capsys, "exists", "Backup") == (1, "", "")
    assert command(capsys, "runs", "Backup") == (3, "", "morvane runs 'Backup': the task does not exist\n")


# (argv, fault or None, status, the whole line on standard error; ... stands for the library's path)
FAILURES = [
    (["exists", "Missing\\Task"], None, 1, ""),
    (["run", "Missing"], None, 3,
     "morvane run 'Missing': GetTask failed: The system cannot find the file specified. (0x80070002)"),
    (["delete", "No\\Missing"], None, 3,
     "morvane delete 'No\\Missing': DeleteTask failed: The system cannot find the path specified. (0x80070003)"),
    (["run", "Backup"], ("GetTask", ACCESS_DENIED), 4,
     "morvane run 'Backup': GetTask failed: Access is denied. (0x80070005)"),
    (["register", "Backup", "utf8.xml", "--create-only"], None, 7,
     "morvane register 'Backup': RegisterTask failed: Cannot create a file when that file already exists. "
     "(0x800700B7): the task exists already, and --create-only registers new tasks only"),
    (["register", "New", "utf8.xml", "--update-only"], None, 3,
     "morvane register 'New': RegisterTask failed: The system cannot find the file specified. (0x80070002): the "
     "task does not exist, and --update-only replaces existing tasks only"),
    (["register", "Backup", "utf8.xml"], ("RegisterTask", ACCESS_DENIED), 4,
     "morvane register 'Backup': RegisterTask failed: Access is denied. (0x80070005)"),
    (["exists", "Backup"], ("Connect", SERVER_UNAVAILABLE), 11,
     "morvane exists 'Backup': Connect failed: The RPC server is unavailable. (0x800706BA)"),
    (["delete", "Backup"], ("DeleteTask", 0x80004005), 5,
     "morvane delete 'Backup': DeleteTask failed: Unspecified error (0x80004005)"),
    (["run", "Backup"], ("RunEx", 0x8004FFFF), 5,  # a code without a system text: the code alone
     "morvane run 'Backup': RunEx failed: 0x8004FFFF"),
    # A name the service refuses: which part or character of it.
    (["run", "a/b"], None, 2,
     "morvane run 'a/b': GetTask failed: The filename, directory name, or volume label syntax is incorrect. "
     "(0x8007007B): the name holds '/', which names cannot hold"),
    (["run", "new\nline"], None, 2,
     "morvane run 'new<U+000A>line': GetTask failed: The filename, ... (0x8007007B): the name holds the control "
     "character <U+000A>, which names cannot hold"),
    (["delete", "Tools\\\\Backup"], None, 2,
     "morvane delete 'Tools\\\\Backup': DeleteTask failed: ... (0x8007007B): the name has an empty part (two "
     "backslashes in a row, or one at the end)"),
    (["info", "Tools\\ Backup"], None, 2, "... (0x8007007B): the name's part ' Backup' begins or ends with a space"),
    (["register", "Backup", "malformed.xml"], None, 2, "morvane register 'Backup': RegisterTask failed: ..."),
    (["register", "Backup", "broken.xml"], None, 2,
     "morvane register 'Backup': broken.xml: not valid UTF-8 at byte offset 6: invalid start byte (is it in another "
     "encoding, such as Windows-1252? save it as UTF-16 or UTF-8)"),
    (["register", "Backup", "missing.xml"], None, 2,
     "morvane register 'Backup': cannot read missing.xml: No such file or directory"),
    (["register", "Backup", "."], None, 2, "morvane register 'Backup': cannot read .: Is a directory"),
    (["runs", "a\\..\\b"], None, 2,
     "morvane runs 'a\\..\\b': GetTask failed: The filename, ... (0x8007007B): the name has a part '..', which names "
     "no task or folder"),
    (["runs", "No\\Missing"], None, 3, "morvane runs 'No\\Missing': the task does not exist"),
    # A name longer than any the service takes: an invalid name, shown cut short.
    (["register", "x" * 100_000, "utf8.xml"], None, 2,
     f"morvane register '{'x' * 120}...' (100000 characters): RegisterTask failed: The filename or extension is too "
     "long. (0x800700CE)"),
    # A definition refused with a position only gets what its code means.
    (["register", "Backup", "no_actions.xml"], None, 2,
     "morvane register 'Backup': RegisterTask failed: the task definition lacks a required element or attribute: "
     "(2,10):Actions: (0x80041319)"),
    (["register", "Backup", "utf8.xml"], ("RegisterTask", 0xC00CEE3B, "(3,5):Command:"), 2,
     "morvane register 'Backup': RegisterTask failed: an end tag in the XML text does not match its start tag: "
     "(3,5):Command: (0xC00CEE3B)"),
    (["register", "Backup", "many_actions.xml"], None, 2,
     "morvane register 'Backup': RegisterTask failed: the task definition holds too many elements of one kind: "
     "(1,...):Exec: (0x8004131D)"),
    (["register", "Backup", "bogus_element.xml"], None, 2,
     "morvane register 'Backup': RegisterTask failed: the task definition holds an element or attribute that does "
     "not belong there: (1,...):Bogus: (0x80041316)"),
    (["register", "Backup", "not_a_date.xml"], None, 2,
     "morvane register 'Backup': RegisterTask failed: a value in the task definition is malformed or out of range: "
     "(1,...):StartBoundary:yesterday (0x80041318)"),
    # Reading and managing tasks: the same statuses.
    *[([verb, "No\\Missing"], None, 3, f"morvane {verb} 'No\\Missing': ...(0x80070003)")
      for verb in ["info", "export", "enable", "disable", "stop", "next"]],
    (["list", "Missing"], None, 3, "morvane list 'Missing': ...(0x80070002)"),
    (["info", "Backup"], ("GetTask", ACCESS_DENIED), 4,
     "morvane info 'Backup': GetTask failed: Access is denied. (0x80070005)"),
    (["list", "-r"], ("Connect", SERVER_UNAVAILABLE), 11,
     "morvane list '\\': Connect failed: The RPC server is unavailable. (0x800706BA)"),
    (["export", "Backup", "-o", "."], None, 2, "morvane export 'Backup': cannot write .: Is a directory"),
    (["register", "Backup", "utf8.xml"], ("RegisterTask", 0x80041318), 2,  # the system's text says it already
     "morvane register 'Backup': RegisterTask failed: The task XML contains a value which is incorrectly formatted "
     "or out of range. (0x80041318)"),
]


@pytest.mark.emulator
@pytest.mark.parametrize("argv, fault, status, line", FAILURES)
def test_failures_are_one_line_and_a_status(capsys, files, registered, argv, fault, status, line):
    before = library_contents()
    if fault:
        call, hresult, *description = fault
        emulator.fail_next(call, hresult, description=description[0] if description else None)
    got, out, err = command(capsys, *argv)
    assert (got, out) == (status, "")
    assert err.count("\n") == (1 if line else 0) and "Traceback" not in err and len(err) < 400
    head, _, tail = line.partition("...")
    assert err.startswith(head) and err.rstrip("\n").endswith(tail)
    # Nothing half-done: the library holds what it held, byte for byte.
    assert library_contents() == before
    assert emulator.pending_faults() == 0


# Refused before the scheduler is called: (argv, standard input, what standard error ends with).
REFUSED_BEFORE_THE_SCHEDULER = [
    *[([verb, "", *extra], None, "error: argument NAME: the task's name is empty\n")
      for verb, *extra in [("register", "utf8.xml"), ("run",), ("delete",), ("exists",), ("runs",), ("info",),
                           ("export",), ("enable",), ("disable",), ("stop",), ("next", "-n", "2")]],
    (["list", ""], None, "error: argument FOLDER: the folder's name is empty: the root folder is '\\'\n"),
    (["register", "Backup", "empty.xml"], None, "'Backup': empty.xml holds no task definition: it is empty\n"),
    (["register", "Backup", "blank.xml"], None, "'Backup': blank.xml holds no task definition: it is empty\n"),
    (["register", "Backup", "-"], codecs.BOM_UTF8, "'Backup': standard input holds no task definition: it is empty\n"),
    (["register", "Backup", "utf32.xml"], None,
     "utf32.xml: UTF-32-LE, which is not read: save the file as UTF-16 or UTF-8\n"),
    (["--task-library", "utf8.xml", "exists", "Backup"], None, "the task library {cwd}/utf8.xml is not a directory\n"),
    (["--task-library", "utf8.xml/lib", "run", "Backup"], None,
     "the task library {cwd}/utf8.xml/lib cannot be made: {cwd}/utf8.xml is not a directory\n"),
    (["--task-library", "shared", "run", "Backup"], None,
     "the task library {cwd}/shared is not private: others can write to it (drwxrwxrwx)\n"),
    (["--task-library", "shared/lib", "run", "Backup"], None,
     "the task library {cwd}/shared/lib is not private: others can write to {cwd}/shared (drwxrwxrwx)\n"),
    (["--task-library", "others", "delete", "Backup"], None,
     "the task library {cwd}/others is not private: it belongs to another user (uid 65534)\n"),
    # A library named that does not exist is a mistyped one, unless asked to be made.
    (["--task-library", "missing", "list"], None,
     "the task library {cwd}/missing does not exist (--create-library makes it)\n"),
    (["register", "Backup", "utf8.xml", "--task-library", "missing/lib"], None,
     "the task library {cwd}/missing/lib does not exist (--create-library makes it)\n"),
]


@pytest.mark.emulator
@pytest.mark.parametrize("argv, stdin, tail", REFUSED_BEFORE_THE_SCHEDULER)
def test_refused_before_the_scheduler_is_called(capsys, monkeypatch, tmp_path, files, argv, stdin, tail):
    if "others" in argv and os.geteuid() != 0:
        pytest.skip("only root can give a folder to another user")
    if stdin is not None:
        monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(stdin)))
    connections = emulator.call_count("CoCreateInstance")
    status, out, err = command(capsys, *argv)
    assert (status, out) == (2, "") and "Traceback" not in err
    assert err.endswith(tail.format(cwd=tmp_path))
    assert emulator.call_count("CoCreateInstance") == connections


def test_help_quotes_the_names_of_its_examples(capsys):
    """Each example, as a POSIX shell splits it, names the task it says (a backslash kept)."""
    status, out, _ = command(capsys, "--help")
    examples = [line.strip().split("  ")[0] for line in out.splitlines() if line.startswith("  morvane ")]
    assert status == 0 and len(examples) == 20
    for example in examples:
        assert shlex.split(example)[2] in ("Backup", "Tools\\Backup", "Ops\\Nightly", "\\"), example


@pytest.mark.parametrize(
    "argv, out",
    [
        ([], ""),
        (["erase", "Backup"], ""),
        (["run"], ""),
        (["run", "Backup", "extra"], ""),
        (["list", "Tools", "Other"], ""),
        (["next", "Backup", "-n", "0"], ""),
        (["next", "Backup", "-n", "x"], ""),
        (["export", "Backup", "--encoding", "latin-1"], ""),
        (["--version"], f"morvane {morvane.__version__}\n"),
        (["--help"], "usage: morvane"),
    ],
)
def test_usage(capsys, argv, out):
    status, printed, err = command(capsys, *argv)
    if out:
        assert (status, err) == (0, "") and printed.startswith(out)
    else:
        assert (status, printed) == (2, "") and err.startswith("usage: morvane") and "Traceback" not in err


def test_task_library_chooses_the_library_for_the_call(capsys, tmp_path, files):
    other = tmp_path / "other"
    assert command(capsys, "--task-library", str(other), "register", "Elsewhere", "utf8.xml")[0] == 2
    assert not other.exists()
    argv = ["--task-library", str(other), "register", "Elsewhere", "utf8.xml", "--create-library"]
    assert command(capsys, *argv)[0] == 0
    assert command(capsys, "exists", "Elsewhere", "--task-library", str(other))[0] == 0
    assert any(other.iterdir())


def test_python_m_morvane_and_the_console_script(tmp_path):
    """In a process of their own: the exit status and standard error as a shell sees them."""
    script = Path(sys.executable).with_name("morvane")
    for launcher in ([sys.executable, "-m", "morvane"], [str(script)]):
        done = subprocess.run(
            [*launcher, "--task-library", str(tmp_path), "delete", "Missing"],
            capture_output=True, text=True, timeout=60,
        )
        assert (done.returncode, done.stdout) == (3, "")
        assert done.stderr == (
            "morvane delete 'Missing': DeleteTask failed: The system cannot find the file specified. (0x80070002)\n"
        )


@pytest.mark.parametrize(
    "name, registered, hint",
    [
        ("ToolsBackup", ["Tools\\Backup"],
         "; did you mean \\Tools\\Backup? A shell drops the backslashes of a name that is not quoted: "
         "morvane run 'Tools\\Backup'"),
        ("toolsdeepbackup", ["Tools\\Deep\\Backup"], "morvane run 'Tools\\Deep\\Backup'"),  # case as Windows
        ("ABC", ["A\\BC", "AB\\C"], None),  # two tasks it could be: no guess
        ("Tools\\Backup", ["ToolsBackup\\X"], None),  # a backslash kept: nothing was lost
    ],
)
def test_a_name_that_lost_its_backslashes_gets_how_to_quote_it(capsys, name, registered, hint):
    for task in registered:
        morvane.register_xml(task, TASK_XML)
    status, out, err = command(capsys, "run", name)
    assert (status, out, err.count("\n")) == (3, "", 1)
    assert err.rstrip("\n").endswith(hint) if hint else err.rstrip("\n").endswith(")")


EXAMPLE = Path(__file__).parents[2] / "examples" / "example_task.utf8.xml"


def in_own_process(library, *argv, **options):
    """The command line in a process of its own, on the task library given."""
    return subprocess.run([sys.executable, "-m", "morvane", "--task-library", str(library), *argv], timeout=60,
                          **options)


def test_a_library_named_on_the_command_line_is_the_one_used(tmp_path):
    """A process started from a shell, its environment naming no library: the one that
    --task-library names holds what the command registers, and the default one stays empty."""
    home, library = tmp_path / "home", tmp_path / "library"
    library.mkdir(mode=0o700)
    environment = {key: value for key, value in os.environ.items()
                   if key not in ("MORVANE_TASK_LIBRARY", "XDG_STATE_HOME")} | {"HOME": str(home)}
    for argv in (["register", "Backup", str(EXAMPLE)], ["create", "Tools\\Nightly", "--schedule", "ONSTART", "--",
                                                        "/bin/true"]):
        in_own_process(library, *argv, env=environment, check=True)
    listed = in_own_process(library, "list", "-r", env=environment, capture_output=True, text=True, check=True)
    assert [line.split()[0] for line in listed.stdout.splitlines()[1:]] == ["\\Backup", "\\Tools\\Nightly"]
    assert not home.exists()


@pytest.fixture
def example_library(tmp_path):
    """A task library holding the example as Backup."""
    in_own_process(tmp_path, "register", "Backup", str(EXAMPLE), check=True)
    return tmp_path


def test_output_that_cannot_be_written_is_one_line_and_status_2(example_library):
    for verb, shown in ((["export", "Backup"], "Backup"), (["list", "-r"], "\\"), (["info", "Backup", "--json"], "Backup")):
        with open("/dev/full", "w") as full:
            done = in_own_process(example_library, *verb, stdout=full, stderr=subprocess.PIPE, text=True)
        assert (done.returncode, done.stderr) == (
            2, f"morvane {verb[0]} '{shown}': cannot write standard output: No space left on device\n"
        )


def test_export_to_a_terminal_is_text_to_read(example_library):
    import pty

    controller, terminal = pty.openpty()
    done = in_own_process(example_library, "export", "Backup", stdout=terminal)
    os.close(terminal)
    shown = b""
    while chunk := os.read(controller, 65536):
        shown += chunk
        if b"</Task>" in shown:
            break
    os.close(controller)
    assert done.returncode == 0 and b"\0" not in shown and b"<Task" in shown


def test_a_reader_that_goes_away_gets_no_traceback(example_library):
    # One start, so one record: a second start while the first still ran would start nothing
    # (the example's policy is IgnoreNew) and say so with status 6.
    in_own_process(example_library, "run", "Backup", check=True)
    reader, writer = os.pipe()
    os.close(reader)  # gone before the first line is written
    done = in_own_process(example_library, "runs", "Backup", stdout=writer, stderr=subprocess.PIPE, text=True)
    os.close(writer)
    # As Unix tools end when their reader goes away: by SIGPIPE, without a word.
    assert (done.returncode, done.stderr) == (-signal.SIGPIPE, "")
    # A table well beyond what the pipe holds (64 KiB) and what head reads at once, so that the
    # writer outlives its reader: 400 lines of more than 250 characters.
    for index in range(400):
        morvane.register_xml(f"Task {index:03} {'x' * 200}", TASK_XML)
    pipeline = f"{shlex.quote(sys.executable)} -m morvane list -r; echo status $? >&2"
    done = subprocess.run(["bash", "-c", f"set -o pipefail; ({pipeline}) | head -1"], capture_output=True, text=True,
                          timeout=60, env={**os.environ, "MORVANE_TASK_LIBRARY": str(emulator.task_library())})
    assert done.stdout.startswith("TASK ") and done.stderr == f"status {128 + signal.SIGPIPE}\n"
