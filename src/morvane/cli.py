"""The morvane command line: register, run, delete, look up, list, export, enable, disable and
stop scheduled tasks, and tell when they will run.

Each failure is one line on standard error (the verb, the task, and for a failure of the
scheduler the platform call, its message and its code in hexadecimal) and an exit status from
morvane.exit_status; scheduler failures, bad arguments and unreadable files show no traceback.
"""

from __future__ import annotations

import argparse
import datetime
import json
import os
import re
import sys
from collections.abc import Sequence

import morvane
from morvane.definition_refusals import meaning
from morvane.errors import TaskSchedulerError
from morvane.exit_status import ExitStatus, status_of
from morvane.task_file import decode_task_xml, encode_task_xml, read_capped, read_task_xml
from morvane.task_lines import info_lines, json_record, local_time, table_lines

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
  morvane list '\\' -r --hidden            every task of every folder, hidden ones too
  morvane info 'Tools\\Backup' --json      its state, last run, last result and next run
  morvane export 'Backup' -o backup.xml   its definition, in UTF-16 as Windows exports it
  morvane disable 'Backup'                keep it from running (enable: let it run again)
  morvane next 'Backup' -n 3              the next three times its triggers start it

exit statuses:
  0  success (for "exists": the task exists)
  1  "exists": the task does not exist
  2  bad arguments, a file that cannot be read, written or decoded, an empty definition, a task
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


def _folder_name(text: str) -> str:
    if not text:
        raise argparse.ArgumentTypeError("the folder's name is empty: the root folder is '\\'")
    return text


def _count(text: str) -> int:
    try:
        count = int(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a whole number: {text!r}") from None
    if count < 1:
        raise argparse.ArgumentTypeError(f"at least 1, not {count}")
    return count


# "next": how many run times, and how far ahead they are looked for. Five show a trigger's
# pattern (hourly, daily, on weekdays) at a glance; a hundred years hold the runs of any trigger
# that still has some, and the count ends the search of one that has many.
_DEFAULT_COUNT = 5
_HORIZON_YEARS = 100


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

    def json_option(sub: argparse.ArgumentParser) -> None:
        sub.add_argument("--json", action="store_true", help="print JSON: the keys are TaskInfo's field names")

    register = verb("register", "create a task from its XML definition, or replace it")
    register.add_argument("file", metavar="FILE", help="the definition (UTF-16 or UTF-8); - reads standard input")
    verb("run", "start a registered task now")
    verb("delete", "remove a registered task")
    verb("exists", "exit with 0 when the task exists, 1 when it does not")
    if EMULATED:
        verb("runs", "print the start records of a task of the emulated scheduler")
    listing = verbs.add_parser(
        "list", help="print the tasks of a folder", description="print the tasks of a folder", parents=[common]
    )
    listing.add_argument(
        "name", metavar="FOLDER", nargs="?", default="\\", type=_folder_name,
        help="the folder, e.g. 'Tools' or '\\Tools' (default: the root folder, '\\')",
    )
    listing.add_argument("-r", "--recursive", action="store_true", help="the tasks of its subfolders as well")
    listing.add_argument("--hidden", action="store_true", help="hidden tasks as well")
    json_option(listing)
    json_option(verb("info", "print a task's state, last run, last result and next run"))
    export = verb("export", "write a task's definition as a task file that register reads")
    export.add_argument("-o", "--output", metavar="FILE", help="the file to write (default: standard output)")
    export.add_argument(
        "--encoding", choices=["utf-16", "utf-8"], default="utf-16",
        help="utf-16 (the default: with a byte order mark, as Windows exports tasks) or utf-8",
    )
    verb("enable", "let a task's triggers start it again")
    verb("disable", "keep a task from being started by its triggers or on demand")
    verb("stop", "stop every running instance of a task")
    upcoming = verb("next", f"print when a task's triggers will start it, within {_HORIZON_YEARS} years from now")
    upcoming.add_argument(
        "-n", "--count", metavar="N", type=_count, default=_DEFAULT_COUNT,
        help=f"how many run times at most (default {_DEFAULT_COUNT})",
    )
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


def _print_runs(scheduler: morvane.Scheduler, name: str) -> ExitStatus:
    from morvane import emulator
    from morvane.run_lines import run_line

    # A task that never ran has no records, nor has one that does not exist: only the
    # scheduler tells them apart.
    if not scheduler.task_exists(name):
        raise _Failure("the task does not exist", ExitStatus.NOT_FOUND)
    for record in emulator.runs(name):
        print(run_line(record))
    return ExitStatus.OK


def _print_json(value: object) -> None:
    print(json.dumps(value, indent=2, ensure_ascii=False))


def _print_tasks(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    infos = scheduler.list_tasks(arguments.name, recursive=arguments.recursive, hidden=arguments.hidden)
    if arguments.json:
        _print_json([json_record(info) for info in infos])
    else:
        for line in table_lines(infos):
            print(line)
    return ExitStatus.OK


def _print_info(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    info = scheduler.task_info(arguments.name)
    if arguments.json:
        _print_json(json_record(info))
    else:
        print("\n".join(info_lines(info)))
    return ExitStatus.OK


def _export(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    # The definition is read whole before the file is opened: a task that cannot be read leaves
    # an existing file as it was.
    data = encode_task_xml(scheduler.task_xml(arguments.name), arguments.encoding)
    if arguments.output is None:
        sys.stdout.buffer.write(data)
        return ExitStatus.OK
    try:
        with open(arguments.output, "wb") as file:
            file.write(data)
    except OSError as error:
        raise _Failure(f"cannot write {arguments.output}: {error.strerror or error}", ExitStatus.BAD_INPUT) from None
    return ExitStatus.OK


def _print_next_runs(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    now = datetime.datetime.now(datetime.timezone.utc)
    end = now + datetime.timedelta(days=round(365.25 * _HORIZON_YEARS))
    for moment in scheduler.run_times(arguments.name, now, end, max_count=arguments.count):
        print(local_time(moment))
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
    if EMULATED:
        _choose_library(arguments)
    # A definition that cannot be read is reported before the service is asked anything.
    definition = _definition(arguments.file) if arguments.verb == "register" else None
    # One connection for the whole invocation; failing to open it fails the verb as its first
    # call would.
    with morvane.Scheduler() as scheduler:
        return _perform_verb(scheduler, arguments, definition)


def _is_folder(scheduler: morvane.Scheduler, name: str) -> bool:
    try:
        scheduler.list_tasks(name)
    except TaskSchedulerError:
        return False
    return True


def _perform_verb(scheduler: morvane.Scheduler, arguments: argparse.Namespace, definition: str | None) -> ExitStatus:
    name: str = arguments.name
    verb: str = arguments.verb
    if definition is not None:
        scheduler.register_xml(name, definition)
    elif verb == "run":
        scheduler.run_task(name)
    elif verb == "delete":
        # The service's DeleteTask also removes an empty folder of that name; the command removes
        # tasks only.
        if not scheduler.task_exists(name) and _is_folder(scheduler, name):
            raise _Failure("this is a folder, not a task: delete removes tasks only", ExitStatus.NOT_FOUND)
        scheduler.delete_task(name)
    elif verb == "exists":
        return ExitStatus.OK if scheduler.task_exists(name) else ExitStatus.ABSENT
    elif verb == "runs":
        return _print_runs(scheduler, name)
    elif verb == "list":
        return _print_tasks(scheduler, arguments)
    elif verb == "info":
        return _print_info(scheduler, arguments)
    elif verb == "export":
        return _export(scheduler, arguments)
    elif verb == "enable":
        scheduler.enable_task(name)
    elif verb == "disable":
        scheduler.disable_task(name)
    elif verb == "stop":
        scheduler.stop_task(name)
    elif verb == "next":
        return _print_next_runs(scheduler, arguments)
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

