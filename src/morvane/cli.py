"""The morvane command line: register, run, delete and look up scheduled tasks.

Each failure is one line on standard error (the verb, the task, and for a failure of the
scheduler the platform call, its message and its code in hexadecimal) and an exit status from
morvane.exit_status; scheduler failures, bad arguments and unreadable files show no traceback.
"""

from __future__ import annotations

import argparse
import os
import re
import sys
from collections.abc import Sequence

import morvane
from morvane.definition_refusals import meaning
from morvane.errors import TaskSchedulerError
from morvane.exit_status import ExitStatus, status_of
from morvane.task_file import decode_task_xml, read_capped, read_task_xml

__all__ = ["main"]

# The emulated scheduler is in use everywhere but on Windows; there "runs" and "--task-library"
# have nothing to act on and are left out.
EMULATED = sys.platform != "win32"

EPILOG = """\
examples (names in single quotes, so that a shell keeps their backslashes):
  morvane register 'Backup' backup.xml    create the task Backup, or replace its definition
  morvane register 'Tools\\Backup' - < backup.xml
  morvane run 'Backup'                    start it now (does not wait for it)
  morvane exists 'Backup' && echo present
  morvane delete 'Backup'

exit statuses:
  0  success (for "exists": the task exists)
  1  "exists": the task does not exist
  2  bad arguments, a file that cannot be read or decoded, an empty definition, a task
     library that is not private, a name or definition the scheduler refuses as invalid
  3  the task, or a folder on its path, does not exist
  4  access denied (on Windows, often a command prompt without elevation)
  5  any other failure of the scheduler
"""


class _Failure(Exception):
    """A failure to report in one line and exit with status."""

    def __init__(self, line: str, status: ExitStatus) -> None:
        super().__init__(line)
        self.line = line
        self.status = status


def _task_name(text: str) -> str:
    # The service answers an empty name in its own ways (a task named by a new GUID, access
    # denied, an invalid argument); asked from a command line, it is always a mistake.
    if not text:
        raise argparse.ArgumentTypeError("the task's name is empty")
    return text


# Long enough for a folder path and a name; a message need not echo 100,000 characters.
_LONGEST_SHOWN = 120


def _shown(name: str) -> str:
    """The name for a message: quoted, and cut short when it is long."""
    if len(name) <= _LONGEST_SHOWN:
        return f"'{name}'"
    return f"'{name[:_LONGEST_SHOWN]}...' ({len(name)} characters)"


def _parser() -> argparse.ArgumentParser:
    # --task-library may stand before or after the verb; SUPPRESS keeps the later one from
    # hiding the earlier one with its default.
    common = argparse.ArgumentParser(add_help=False)
    if EMULATED:
        common.add_argument(
            "--task-library",
            metavar="PATH",
            default=argparse.SUPPRESS,
            help="the emulated scheduler's task library for this call (a directory)",
        )
    parser = argparse.ArgumentParser(
        prog="morvane",
        description="Manage tasks of the Windows Task Scheduler"
        + (" (here: the emulated scheduler)." if EMULATED else "."),
        epilog=EPILOG,
        formatter_class=argparse.RawDescriptionHelpFormatter,
        parents=[common],
    )
    parser.add_argument("--version", action="version", version=f"morvane {morvane.__version__}")
    verbs = parser.add_subparsers(dest="verb", metavar="VERB", required=True)

    def verb(name: str, help: str) -> argparse.ArgumentParser:
        sub = verbs.add_parser(name, help=help, description=help, parents=[common])
        sub.add_argument(
            "name", metavar="NAME", type=_task_name, help="the task's name, e.g. 'Backup' or 'Folder\\Backup'"
        )
        return sub

    register = verb("register", "create a task from its XML definition, or replace it")
    register.add_argument("file", metavar="FILE", help="the definition (UTF-16 or UTF-8); - reads standard input")
    verb("run", "start a registered task now")
    verb("delete", "remove a registered task")
    verb("exists", "exit with 0 when the task exists, 1 when it does not")
    if EMULATED:
        verb("runs", "print the start records of a task of the emulated scheduler")
    return parser


def _definition(file: str) -> str:
    """The definition from FILE or standard input, read whole before anything is registered."""
    shown = "standard input" if file == "-" else file
    try:
        if file == "-":
            text = decode_task_xml(read_capped(sys.stdin.buffer, "<stdin>"), "<stdin>")
        else:
            text = read_task_xml(file)
    except OSError as error:
        raise _Failure(f"cannot read {file}: {error.strerror or error}", ExitStatus.BAD_INPUT) from None
    except UnicodeDecodeError as error:
        raise _Failure(str(error), ExitStatus.BAD_INPUT) from None
    # The service takes an empty text for a missing one and answers with an RPC stub's error.
    if not text.strip():
        raise _Failure(f"{shown} holds no task definition: it is empty", ExitStatus.BAD_INPUT)
    return text


def _print_runs(name: str) -> ExitStatus:
    from morvane import emulator
    from morvane.run_lines import run_line

    # A task that never ran has no records, nor has one that does not exist: only the
    # scheduler tells them apart.
    if not morvane.task_exists(name):
        raise _Failure("the task does not exist", ExitStatus.NOT_FOUND)
    for record in emulator.runs(name):
        print(run_line(record))
    return ExitStatus.OK


def _choose_library(arguments: argparse.Namespace) -> None:
    """Sets the library that --task-library names, and refuses a library that is not private."""
    from morvane import emulator
    from morvane.library_privacy import library_problem

    if getattr(arguments, "task_library", None) is not None:
        emulator.set_task_library(arguments.task_library)
    problem = library_problem(emulator.task_library())
    if problem:
        raise _Failure(problem, ExitStatus.BAD_INPUT)


def _perform(arguments: argparse.Namespace) -> ExitStatus:
    name: str = arguments.name
    if EMULATED:
        _choose_library(arguments)
    verb: str = arguments.verb
    if verb == "register":
        morvane.register_xml(name, _definition(arguments.file))
    elif verb == "run":
        morvane.run_task(name)
    elif verb == "delete":
        morvane.delete_task(name)
    elif verb == "exists":
        return ExitStatus.OK if morvane.task_exists(name) else ExitStatus.ABSENT
    elif verb == "runs":
        return _print_runs(name)
    return ExitStatus.OK


# A position that the service gives for a refused definition, "(2,83):Actions:".
_POSITION = re.compile(r"\(\d+,\d+\)")


def _scheduler_failure(error: TaskSchedulerError) -> str:
    """The operation, the service's text and the code; for a definition that the service refuses
    with a position only, what the code means."""
    code = f"{error.hresult:#010x}"
    # The message ends with the code, "... (0x80070002)", when the system has a text for it.
    message = error.message if code.lower() in error.message.lower() else f"{error.message} ({code})"
    explained = meaning(error.hresult)
    if explained and _POSITION.match(message):
        message = f"{explained}: {message}"
    return f"{error.operation} failed: {message}"


def _one_line(text: str) -> str:
    return " ".join(text.split())


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with argv (sys.argv[1:] when None); returns the exit status."""
    arguments = _parser().parse_args(argv)
    where = f"morvane {arguments.verb} {_shown(arguments.name)}"
    try:
        return _perform(arguments)
    except _Failure as failure:
        line, status = failure.line, failure.status
    except TaskSchedulerError as error:
        line, status = _scheduler_failure(error), status_of(error)
    except ValueError as error:  # a NUL in a name or path, a name the emulator cannot take
        line, status = str(error), ExitStatus.BAD_INPUT
    print(_one_line(f"{where}: {line}"), file=sys.stderr)
    return status


def run() -> None:
    """The console script's entry point."""
    try:
        status = main()
        sys.stdout.flush()
    except BrokenPipeError:
        # The reader went away (`morvane runs X | head -1`): nothing more to tell it, and no
        # traceback. Standard output goes to /dev/null so that the flush at exit fails no more.
        os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())
        status = 1
    sys.exit(status)


if __name__ == "__main__":
    run()

