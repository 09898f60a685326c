"""The morvane command line: register, run, delete, look up, list, export, enable, disable and
stop scheduled tasks, tell when they will run, and make, remove and list their folders.

Each failure is one line on standard error (the verb, the task, and for a failure of the
scheduler the platform call, its message and its code in hexadecimal) and an exit status from
morvane.exit_status; scheduler failures, bad arguments and unreadable files show no traceback.
"""

from __future__ import annotations

import os
import sys

import morvane
from morvane.errors import TaskSchedulerError
from morvane.exit_status import ExitStatus, status_of
from morvane.name_hints import shown_name

# Scripts call the command line in loops, as they call schtasks: what only some verbs need
# (dates, JSON, XML, the task records) is imported by those verbs, and the simplest command lines
# are parsed without argparse (see _parsed_simply), so that "exists" starts fast.
TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse
    from collections.abc import Sequence

__all__ = ["main"]

# The emulated scheduler is in use everywhere but on Windows; there "runs" and "--task-library"
# have nothing to act on and are left out.
EMULATED = sys.platform != "win32"

EPILOG = """\
examples (names in single quotes, so that a shell keeps their backslashes):
  morvane register 'Backup' backup.xml    create the task Backup, or replace its definition
  morvane register 'Tools\\Backup' - < backup.xml
  morvane register 'Backup' b.xml --create-only  fails if Backup exists (--update-only: if it does not)
  morvane register 'Backup' b.xml --run-as alice --run-as-password-env BACKUP_PASSWORD
                                          run it as alice (the password from $BACKUP_PASSWORD;
                                          without it, asked for without echo)
  morvane create 'Backup' --schedule DAILY --start-time 02:00 -- backup.exe --full
                                          a task without XML (create --help: its schtasks lines)
  morvane run 'Backup'                    start it now (does not wait for it)
  morvane run 'Backup' --wait --timeout 60
                                          start it, wait for its end, print its result
  morvane running 'Backup'                its running instances (without a name: every task's)
  morvane exists 'Backup' && echo present
  morvane delete 'Backup'
  morvane list '\\' -r --hidden            every task of every folder, hidden ones too
  morvane info 'Tools\\Backup' --json      its state, last run, last result, next run and account
  morvane export 'Backup' -o backup.xml   its definition, in UTF-16 as Windows exports it
  morvane disable 'Backup'                keep it from running (enable: let it run again)
  morvane next 'Backup' -n 3              the next three times its triggers start it
  morvane mkdir 'Ops\\Nightly'             make the folder, and Ops when it is missing
  morvane folders '\\' -r                  every folder, as paths from the root
  morvane rmdir 'Ops\\Nightly'             remove the folder, which must be empty
  morvane security 'Backup'               its security descriptor as SDDL (--folder: a folder's)
  morvane set-security 'Backup' 'O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)(A;;FRFX;;;BU)'
                                          let users read and run it, administrators do anything

exit statuses:
  0  success (for "exists": the task exists)
  1  "exists": the task does not exist
  2  bad arguments, a file that cannot be read, written or decoded, an empty definition, a task
     library that is not private, a name or definition the scheduler refuses as invalid
  3  the task, or a folder on its path, does not exist ("rmdir": no folder of that name)
  4  access denied (on Windows, often a command prompt without elevation)
  5  any other failure of the scheduler
  6  "run": nothing started (the task is disabled, its definition does not allow starting it on
     demand, or an instance is running and it runs no second one)
  7  "mkdir", "create", "register --create-only": the folder or task, or a task or folder of
     its name, exists already
  8  "rmdir": the folder is not empty
  9  "run --wait": the run ended with a result other than 0
  10 "run --wait --timeout": the run had not ended in time (it runs on)

A reader that goes away (morvane list -r | head -1) ends the command quietly, by SIGPIPE.
"""


class _Failure(Exception):
    """A failure to report in one line and exit with status."""

    def __init__(self, line: str, status: ExitStatus) -> None:
        super().__init__(line)
        self.line = line
        self.status = status


def _task_name(text: str) -> str:
    import argparse

    # The service answers an empty name in its own ways (a task named by a new GUID, access
    # denied, an invalid argument); asked from a command line, it is always a mistake.
    if not text:
        raise argparse.ArgumentTypeError("the task's name is empty")
    return text


def _folder_name(text: str) -> str:
    import argparse

    if not text:
        raise argparse.ArgumentTypeError("the folder's name is empty: the root folder is '\\'")
    return text


def _count(text: str) -> int:
    import argparse

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


def _emit(text: str) -> None:
    """Writes a line to standard output; one that cannot be written (a full disk) is a failure
    to report, a reader that went away (BrokenPipeError) ends the command in run()."""
    try:
        sys.stdout.write(text + "\n")
    except BrokenPipeError:
        raise
    except OSError as error:
        raise _Failure(f"cannot write standard output: {error.strerror or error}", ExitStatus.BAD_INPUT) from None


def _emit_bytes(data: bytes) -> None:
    try:
        sys.stdout.flush()
        sys.stdout.buffer.write(data)
        sys.stdout.buffer.flush()
    except BrokenPipeError:
        raise
    except OSError as error:
        raise _Failure(f"cannot write standard output: {error.strerror or error}", ExitStatus.BAD_INPUT) from None


def _flush_output() -> None:
    try:
        sys.stdout.flush()
    except BrokenPipeError:
        raise
    except OSError as error:
        raise _Failure(f"cannot write standard output: {error.strerror or error}", ExitStatus.BAD_INPUT) from None


def _parser() -> argparse.ArgumentParser:
    import argparse

    # --task-library and the connection's options may stand before or after the verb; SUPPRESS
    # keeps the later one from hiding the earlier one with its default.
    common = argparse.ArgumentParser(add_help=False)
    connection = common.add_argument_group("connection")
    connection.add_argument(
        "-S", "--computer", metavar="NAME", default=argparse.SUPPRESS,
        help="the computer whose scheduler to manage (default: this one)",
    )
    connection.add_argument(
        "-U", "--user", metavar="[DOMAIN\\]USER", default=argparse.SUPPRESS,
        help="log on there as this account; its password is asked at a prompt without echo unless "
        "--password-env or --password-stdin says where it is",
    )
    connection.add_argument(
        "--password-env", metavar="VAR", default=argparse.SUPPRESS,
        help="read --user's password from the environment variable VAR",
    )
    connection.add_argument(
        "--password-stdin", action="store_true", default=argparse.SUPPRESS,
        help="read --user's password from the first line of standard input",
    )
    if EMULATED:
        common.add_argument(
            "--task-library",
            metavar="PATH",
            default=argparse.SUPPRESS,
            help="the emulated scheduler's task library for this call (a directory that exists)",
        )
        common.add_argument(
            "--create-library",
            action="store_true",
            default=argparse.SUPPRESS,
            help="make the directory that --task-library names when it does not exist",
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

    from morvane.cli_create import add_create_verb

    add_create_verb(verbs, common, _task_name)
    register = verb("register", "create a task from its XML definition, or replace it")
    register.add_argument("file", metavar="FILE", help="the definition (UTF-16 or UTF-8); - reads standard input")
    only = register.add_mutually_exclusive_group()
    only.add_argument("--create-only", action="store_true", help="fail when a task of that name exists")
    only.add_argument("--update-only", action="store_true", help="fail when no task of that name exists")
    from morvane.cli_run_as import add_run_as_options

    add_run_as_options(register)
    add_run_as_options(verbs.choices["create"])
    run = verb("run", "start a registered task now")
    run.add_argument("--wait", action="store_true", help="wait for the run to end and print its result")
    run.add_argument(
        "--timeout", metavar="S", type=_seconds,
        help="with --wait: give up after S seconds (exit status 10), leaving the run running",
    )
    instances = verbs.add_parser(
        "running", help="print the running instances of a task, or of every task",
        description="print the running instances of a task, or of every task", parents=[common],
    )
    instances.add_argument("name", metavar="NAME", nargs="?", type=_task_name, help="the task (default: every task)")
    instances.add_argument("--hidden", action="store_true", help="hidden tasks' instances as well")
    instances.add_argument("--json", action="store_true", help="print JSON: the keys are RunningTask's field names")
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

    def folder_verb(name: str, help: str) -> argparse.ArgumentParser:
        sub = verbs.add_parser(name, help=help, description=help, parents=[common])
        sub.add_argument(
            "name", metavar="PATH", type=_folder_name, help="the folder's path, e.g. 'Ops' or 'Ops\\Nightly'"
        )
        return sub

    mkdir = folder_verb("mkdir", "make a folder, and the folders on its path that are missing")
    mkdir.add_argument("--security", metavar="SDDL", help="the folder's security descriptor (default: the service's)")
    folder_verb("rmdir", "remove an empty folder")
    folders = verbs.add_parser(
        "folders", help="print the subfolders of a folder, as paths from the root",
        description="print the subfolders of a folder, as paths from the root", parents=[common],
    )
    folders.add_argument(
        "name", metavar="PATH", nargs="?", default="\\", type=_folder_name,
        help="the folder, e.g. 'Ops' (default: the root folder, '\\')",
    )
    folders.add_argument("-r", "--recursive", action="store_true", help="the subfolders' subfolders as well")
    folders.add_argument("--json", action="store_true", help="print a JSON list of the paths")
    security = verb("security", "print a task's (or with --folder a folder's) security descriptor as SDDL")
    security.add_argument("--folder", action="store_true", help="NAME is a folder's path ('\\' the root)")
    set_security = verb("set-security", "replace a task's (or with --folder a folder's) security descriptor")
    set_security.add_argument("sddl", metavar="SDDL", help="the descriptor, e.g. 'O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)'")
    set_security.add_argument("--folder", action="store_true", help="NAME is a folder's path ('\\' the root)")
    json_option(verb("info", "print a task's state, last run, last result, next run and the account it runs as"))
    export = verb("export", "write a task's definition as a task file that register reads")
    export.add_argument("-o", "--output", metavar="FILE", help="the file to write (default: standard output)")
    export.add_argument(
        "--encoding", choices=["utf-16", "utf-8"], default="utf-16",
        help="utf-16 (the default: with a byte order mark, as Windows exports tasks) or utf-8; "
        "to a terminal the definition is written as text to read",
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


def _seconds(text: str) -> float:
    import argparse

    try:
        seconds = float(text)
    except ValueError:
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text!r}") from None
    if not seconds >= 0 or seconds == float("inf"):
        raise argparse.ArgumentTypeError(f"not a number of seconds: {text!r}")
    return seconds


def _definition(file: str) -> str:
    """The definition from FILE or standard input, read whole before anything is registered."""
    from morvane.task_file import decode_task_xml, read_capped, read_task_xml

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
        _emit(run_line(record))
    return ExitStatus.OK


def _print_json(value: object) -> None:
    import json

    _emit(json.dumps(value, indent=2, ensure_ascii=False))


def _print_tasks(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    from morvane.task_lines import json_record, table_lines

    infos = scheduler.list_tasks(arguments.name, recursive=arguments.recursive, hidden=arguments.hidden)
    if arguments.json:
        _print_json([json_record(info) for info in infos])
    else:
        for line in table_lines(infos):
            _emit(line)
    return ExitStatus.OK


def _print_info(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    from morvane.task_lines import info_lines, json_record

    info = scheduler.task_info(arguments.name)
    if arguments.json:
        _print_json(json_record(info))
    else:
        _emit("\n".join(info_lines(info)))
    return ExitStatus.OK


def _export(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    from morvane.task_file import encode_task_xml

    # The definition is read whole before the file is opened: a task that cannot be read leaves
    # an existing file as it was.
    text = scheduler.task_xml(arguments.name)
    if arguments.output is None and sys.stdout.isatty():
        # UTF-16 on a terminal is text with a NUL between letters: a person reads it as text.
        _emit(text)
        return ExitStatus.OK
    data = encode_task_xml(text, arguments.encoding)
    if arguments.output is None:
        _emit_bytes(data)
        return ExitStatus.OK
    try:
        with open(arguments.output, "wb") as file:
            file.write(data)
    except OSError as error:
        raise _Failure(f"cannot write {arguments.output}: {error.strerror or error}", ExitStatus.BAD_INPUT) from None
    return ExitStatus.OK


def _print_next_runs(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    import datetime

    from morvane.task_lines import local_time

    now = datetime.datetime.now(datetime.timezone.utc)
    end = now + datetime.timedelta(days=round(365.25 * _HORIZON_YEARS))
    for moment in scheduler.run_times(arguments.name, now, end, max_count=arguments.count):
        print(local_time(moment))
    return ExitStatus.OK


def _print_folders(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    paths = scheduler.list_folders(arguments.name, recursive=arguments.recursive)
    if arguments.json:
        _print_json(paths)
    else:
        for path in paths:
            _emit(path)
    return ExitStatus.OK


def _library_from_environment() -> str:
    # Where winemu looks when no library was chosen through its control API.
    if library := os.environ.get("MORVANE_TASK_LIBRARY"):
        return library
    if state := os.environ.get("XDG_STATE_HOME"):
        return os.path.join(state, "morvane", "tasks")
    return os.path.join(os.environ.get("HOME", ""), ".local", "state", "morvane", "tasks")


def _choose_library(arguments: argparse.Namespace) -> None:
    """Sets the library that --task-library names, and refuses a library that is not private, or
    one named that does not exist unless --create-library asks for it."""
    from morvane.library_privacy import library_problem

    # winemu takes its environment once, as it is loaded (with "import morvane"): a library named
    # on the command line reaches it only through the control API, which costs a load of its own
    # and is therefore loaded only when a library is named.
    emulator = sys.modules.get("morvane.emulator")
    chosen: str | None = getattr(arguments, "task_library", None)
    if chosen is not None:
        chosen = os.path.abspath(chosen)
        from morvane import emulator as control

        control.set_task_library(chosen)
        emulator = control
    library = os.fspath(emulator.task_library()) if emulator is not None else _library_from_environment()
    if problem := library_problem(library):
        raise _Failure(problem, ExitStatus.BAD_INPUT)
    # A mistyped library would list nothing and register into a new directory, silently.
    if chosen is not None and not os.path.isdir(chosen) and not getattr(arguments, "create_library", False):
        raise _Failure(
            f"the task library {chosen} does not exist (--create-library makes it)", ExitStatus.BAD_INPUT
        )


def _created(arguments: argparse.Namespace) -> ExitStatus | None:
    """For "create": the definition the options describe, kept in the arguments; with --xml,
    printed instead, and the command's status returned."""
    from morvane.cli_create import definition_of

    try:
        arguments.created = definition_of(arguments)
    except ValueError as error:  # options that make no task, a value the schema refuses
        raise _Failure(str(error), ExitStatus.BAD_INPUT) from None
    if arguments.xml:
        _emit(arguments.created.to_xml().rstrip("\n"))
        return ExitStatus.OK
    return None


def _perform(arguments: argparse.Namespace) -> ExitStatus:
    if arguments.verb == "create" and (printed := _created(arguments)) is not None:
        return printed
    if EMULATED:
        _choose_library(arguments)
    if getattr(arguments, "password_stdin", False):
        if getattr(arguments, "file", None) == "-":
            raise _Failure("standard input cannot hold both the definition and the password", ExitStatus.BAD_INPUT)
        if getattr(arguments, "run_as_password_stdin", False):
            raise _Failure("standard input cannot hold both passwords", ExitStatus.BAD_INPUT)
    # A definition that cannot be read is reported before the service is asked anything.
    definition = _definition(arguments.file) if arguments.verb == "register" else None
    if arguments.verb in ("register", "create"):
        from morvane.cli_run_as import PasswordUnavailable, run_as_keywords

        try:
            arguments.run_as_keywords = run_as_keywords(arguments)
        except (ValueError, PasswordUnavailable) as error:
            raise _Failure(str(error), ExitStatus.BAD_INPUT) from None
    # One connection for the whole invocation; failing to open it fails the verb as its first
    # call would.
    with _connected(arguments) as scheduler:
        try:
            return _perform_verb(scheduler, arguments, definition)
        except TaskSchedulerError as error:
            line = _scheduler_failure(error, arguments.name) + _mode_refusal(error, arguments)
            if status_of(error) is ExitStatus.NOT_FOUND and arguments.verb not in ("list", "folders"):
                line += _quoting_hint(scheduler, arguments)
            raise _Failure(line, status_of(error)) from None


def _connected(arguments: argparse.Namespace) -> morvane.Scheduler:
    """The session to the computer and as the account that the options name; the password, read
    as --user's options say, goes to the session and is dropped here at once."""
    computer: str | None = getattr(arguments, "computer", None)
    user: str | None = getattr(arguments, "user", None)
    variable: str | None = getattr(arguments, "password_env", None)
    from_stdin: bool = getattr(arguments, "password_stdin", False)
    if user is None:
        if variable is not None or from_stdin:
            raise _Failure("a password is read only for --user", ExitStatus.BAD_INPUT)
        return _opened(computer, None, None, None)
    domain, _, name = user.rpartition("\\")
    from morvane.password_input import PasswordUnavailable, read_password

    try:
        password = read_password(
            environment_variable=variable,
            from_stdin=from_stdin,
            prompt=f"Password for {user} on {computer or 'this computer'}: ",
        )
    except PasswordUnavailable as error:
        raise _Failure(str(error), ExitStatus.BAD_INPUT) from None
    try:
        return _opened(computer, name, domain or None, password)
    finally:
        del password


def _opened(computer: str | None, user: str | None, domain: str | None, password: str | None) -> morvane.Scheduler:
    """Scheduler(...), its failure to reach the computer or to log on said in one line."""
    try:
        return morvane.Scheduler(computer, user=user, domain=domain, password=password)
    except TaskSchedulerError as error:
        status = status_of(error)
        where = computer or "this computer"
        if status is ExitStatus.UNREACHABLE and computer is not None:
            raise _Failure(f"cannot reach {where}: {_scheduler_failure(error, '')}", status) from None
        if status is ExitStatus.LOGON_FAILED:
            raise _Failure(f"cannot log on to {where} as {user}: {_scheduler_failure(error, '')}", status) from None
        raise


# What a refusal means when register was asked to create only or to update only.
_MODE_REFUSALS = {
    ("create_only", 0x800700B7): "the task exists already, and --create-only registers new tasks only",
    ("update_only", 0x80070002): "the task does not exist, and --update-only replaces existing tasks only",
    ("update_only", 0x80070003): "a folder on the task's path does not exist, and --update-only replaces existing "
    "tasks only",
}


def _mode_refusal(error: TaskSchedulerError, arguments: argparse.Namespace) -> str:
    if arguments.verb == "create" and error.hresult == 0x800700B7:
        return ": a task of that name exists, and --force replaces it"
    for option in ("create_only", "update_only"):
        if getattr(arguments, option, False) and (meaning := _MODE_REFUSALS.get((option, error.hresult))):
            return f": {meaning}"
    return ""


def _quoting_hint(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> str:
    """How to quote the name when the task meant lost its backslashes to the shell."""
    from morvane.name_hints import lost_backslashes

    try:
        if arguments.verb in _FOLDER_VERBS:
            paths = scheduler.list_folders("\\", recursive=True)
        else:
            paths = [info.path for info in scheduler.list_tasks("\\", recursive=True, hidden=True)]
    except TaskSchedulerError:
        return ""
    meant = lost_backslashes(arguments.name, paths)
    if meant is None:
        return ""
    quoted = meant[1:].replace("'", "'\\''")
    return (
        f"; did you mean {meant}? A shell drops the backslashes of a name that is not quoted: "
        f"morvane {arguments.verb} '{quoted}'"
    )


def _run(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    """Starts the task, and says so when the service starts nothing, which it answers with success;
    with --wait, waits for the run's end and prints its result."""
    from morvane.run_refusal import queued_behind, why_not_started

    name: str = arguments.name
    wait = getattr(arguments, "wait", False)
    if getattr(arguments, "timeout", None) is not None and not wait:
        raise _Failure("--timeout goes with --wait", ExitStatus.BAD_INPUT)
    # Read before the start: afterwards the run just started would be the one running.
    info = scheduler.task_info(name)
    running = info.state.name == "RUNNING"
    xml = scheduler.task_xml(name) if info.enabled else ""
    if not wait:
        scheduler.run_task(name)
    else:
        instance = scheduler.start_task(name)
    if reason := why_not_started(info.enabled, running, xml):
        raise _Failure(f"nothing started: {reason}", ExitStatus.NOT_STARTED)
    if queued_behind(running, xml):
        _note("run", name, "queued: it starts when the running instance ends (MultipleInstancesPolicy Queue)")
    if not wait:
        return ExitStatus.OK
    try:
        result = instance.wait(arguments.timeout)
    except TimeoutError:
        raise _Failure(f"still running after {arguments.timeout:g} s (left running)", ExitStatus.TIMED_OUT) from None
    _emit(f"{shown_name(name)}: ended with result {result} (0x{result:08X})")
    return ExitStatus.OK if result == 0 else ExitStatus.RUN_FAILED


def _print_instances(scheduler: morvane.Scheduler, arguments: argparse.Namespace) -> ExitStatus:
    """One line per running instance: path, GUID, state, engine process id, current action."""
    instances = scheduler.running_tasks(arguments.name, hidden=arguments.hidden)
    if arguments.json:
        _print_json([
            {"instance_guid": i.instance_guid, "path": i.path, "name": i.name, "current_action": i.current_action,
             "pid": i.pid, "state": i.state.name} for i in instances
        ])
        return ExitStatus.OK
    for i in instances:
        _emit(f"{i.path}\t{i.instance_guid}\t{i.state.name}\t{i.pid}\t{i.current_action}")
    return ExitStatus.OK


def _stop(scheduler: morvane.Scheduler, name: str) -> ExitStatus:
    was_running = scheduler.task_info(name).state.name == "RUNNING"
    scheduler.stop_task(name)
    if not was_running:
        _note("stop", name, "nothing to stop: no instance of the task was running")
    return ExitStatus.OK


def _note(verb: str, name: str, text: str) -> None:
    """A line on standard error about a verb that succeeded without doing what it names."""
    print(f"morvane {verb} {shown_name(name)}: {text}", file=sys.stderr)


def _names_a_folder(scheduler: morvane.Scheduler, name: str) -> bool:
    """True when the name is a folder's and no task's. A name the service refuses is no folder:
    the delete that follows reports the service's own answer."""
    try:
        return not scheduler.task_exists(name) and scheduler.list_tasks(name) is not None
    except TaskSchedulerError:
        return False


def _perform_verb(scheduler: morvane.Scheduler, arguments: argparse.Namespace, definition: str | None) -> ExitStatus:
    name: str = arguments.name
    verb: str = arguments.verb
    if definition is not None:
        from morvane.register_mode import RegisterMode

        mode = (RegisterMode.CREATE if arguments.create_only else
                RegisterMode.UPDATE if arguments.update_only else RegisterMode.CREATE_OR_UPDATE)
        scheduler.register_task(name, definition, mode=mode, **arguments.run_as_keywords)
    elif verb == "create":
        from morvane.register_mode import RegisterMode

        mode = RegisterMode.CREATE_OR_UPDATE if arguments.force else RegisterMode.CREATE
        scheduler.register_task(name, arguments.created, mode=mode, **arguments.run_as_keywords)
    elif verb == "run":
        return _run(scheduler, arguments)
    elif verb == "running":
        return _print_instances(scheduler, arguments)
    elif verb == "delete":
        # The service's DeleteTask also removes an empty folder of that name; the command removes
        # tasks only.
        if _names_a_folder(scheduler, name):
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
        return _stop(scheduler, name)
    elif verb == "next":
        return _print_next_runs(scheduler, arguments)
    elif verb == "mkdir":
        scheduler.create_folder(name, security=arguments.security)
    elif verb == "security":
        print(scheduler.folder_security(name) if arguments.folder else scheduler.task_security(name))
    elif verb == "set-security":
        if arguments.folder:
            scheduler.set_folder_security(name, arguments.sddl)
        else:
            scheduler.set_task_security(name, arguments.sddl)
    elif verb == "rmdir":
        _remove_folder(scheduler, name)
    elif verb == "folders":
        return _print_folders(scheduler, arguments)
    return ExitStatus.OK


def _remove_folder(scheduler: morvane.Scheduler, name: str) -> None:
    try:
        scheduler.delete_folder(name)
    except TaskSchedulerError as error:
        # The service refuses the root as it refuses a folder the caller may not delete.
        if error.hresult == _E_ACCESSDENIED and name.strip("\\") == "":
            raise _Failure("the root folder cannot be removed", ExitStatus.BAD_INPUT) from None
        if error.hresult == _ERROR_DIRECTORY:
            raise _Failure("this is a task, not a folder: rmdir removes empty folders only", ExitStatus.NOT_FOUND) from None
        raise


_ERROR_INVALID_NAME = 0x8007007B
_ERROR_DIRECTORY = 0x8007010B
_E_ACCESSDENIED = 0x80070005


def _scheduler_failure(error: TaskSchedulerError, name: str) -> str:
    """The operation, the service's text and the code; for a definition that the service refuses
    with a position only, what the code means; for a name it refuses, why."""
    from morvane.definition_refusals import explained_message

    code = f"{error.hresult:#010x}"
    # The message ends with the code, "... (0x80070002)", when the system has a text for it.
    message = error.message if code.lower() in error.message.lower() else f"{error.message} ({code})"
    message = explained_message(message, error.hresult)
    if error.hresult == _ERROR_INVALID_NAME:
        from morvane.name_hints import name_problem

        if problem := name_problem(name):
            message = f"{message}: {problem}"
    return f"{error.operation} failed: {message}"


def _one_line(text: str) -> str:
    return " ".join(text.split())


# The verbs that act on folders; those that take a folder's path and nothing else.
_FOLDER_VERBS = {"mkdir", "rmdir", "folders"}

# The verbs that take a name and nothing else.
_NAME_ONLY_VERBS = {
    "run", "delete", "exists", "enable", "disable", "stop", "mkdir", "rmdir", *(["runs"] if EMULATED else [])
}


class _Arguments:
    """The attributes that argparse's Namespace would hold."""


def _parsed_simply(argv: Sequence[str]) -> argparse.Namespace | None:
    """The arguments of a command line of the plainest shape, VERB NAME for a verb that takes a
    name only, with --task-library PATH and --create-library before or after: what argparse gives
    for it, without importing argparse, which costs more than the rest of such a call (an
    "exists" in a loop). None for any other shape, which argparse parses (and refuses or
    explains)."""
    arguments = _Arguments()
    words: list[str] = []
    index = 0
    while index < len(argv):
        word = argv[index]
        if EMULATED and word == "--task-library" and index + 1 < len(argv) and argv[index + 1][:1] not in ("", "-"):
            arguments.task_library = argv[index + 1]  # type: ignore[attr-defined]
            index += 2
            continue
        if EMULATED and word == "--create-library":
            arguments.create_library = True  # type: ignore[attr-defined]
        elif word[:1] in ("", "-"):  # an option, an empty name: argparse's to parse or refuse
            return None
        else:
            words.append(word)
        index += 1
    if len(words) != 2 or words[0] not in _NAME_ONLY_VERBS:
        return None
    arguments.verb, arguments.name = words  # type: ignore[attr-defined]
    if arguments.verb == "run":  # type: ignore[attr-defined]
        arguments.wait, arguments.timeout = False, None  # type: ignore[attr-defined]
    if arguments.verb == "mkdir":  # type: ignore[attr-defined]
        arguments.security = None  # type: ignore[attr-defined]
    return arguments  # type: ignore[return-value]


def main(argv: Sequence[str] | None = None) -> int:
    """Runs the command line with argv (sys.argv[1:] when None); returns the exit status."""
    given = sys.argv[1:] if argv is None else argv
    arguments = _parsed_simply(given)
    if arguments is None:
        from morvane.cli_create import split_program

        given, program = split_program(list(given))
        arguments = _parser().parse_args(given)
        if program is not None:
            arguments.program = [*arguments.program, *program]
    # "running" alone names no task.
    where = f"morvane {arguments.verb}" + (f" {shown_name(arguments.name)}" if arguments.name is not None else "")
    try:
        status = _perform(arguments)
        _flush_output()
        return status
    except _Failure as failure:
        line, status = failure.line, failure.status
    except TaskSchedulerError as error:  # opening the session
        line, status = _scheduler_failure(error, arguments.name or "\\"), status_of(error)
    except ValueError as error:  # a NUL in a name or path, a name the emulator cannot take
        line, status = str(error), ExitStatus.BAD_INPUT
    print(_one_line(f"{where}: {line}"), file=sys.stderr)
    return status


def _quiet_standard_output() -> None:
    # What is left in the buffer goes to /dev/null, so that the flush at exit fails no more.
    os.dup2(os.open(os.devnull, os.O_WRONLY), sys.stdout.fileno())


def run() -> None:
    """The console script's entry point."""
    try:
        status = main()
    except BrokenPipeError:
        # The reader went away (`morvane list -r | head -1`): nothing more to tell it. The
        # command ends as Unix tools end there, by SIGPIPE, without a word.
        import signal

        _quiet_standard_output()
        sys.stderr.flush()
        signal.signal(signal.SIGPIPE, signal.SIG_DFL)
        os.kill(os.getpid(), signal.SIGPIPE)
        status = 1  # not reached where SIGPIPE ends the process
    try:
        sys.stdout.flush()
    except OSError:  # reported by main() already: the output that could not be written
        _quiet_standard_output()
    sys.exit(status)


if __name__ == "__main__":
    run()

