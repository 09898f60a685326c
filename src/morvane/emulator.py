"""Control of the emulated Task Scheduler (winemu), for tests on hosts other than Windows.

On these hosts morvane talks to winemu, a library that emulates the Windows calls it makes,
including a Task Scheduler service whose task library is a directory. This module drives that
emulation: where the task library lives, other computers to connect to, one-shot faults for any platform call, a latency that
stands in for the real service, the service going away under its callers, what is still allocated, the runs of tasks (waiting for them,
ending them), the misuse
of the platform recorded as violations, a journal of the platform calls made, and the service's
reading of security descriptors' SDDL texts.

Every function acts on the one copy of winemu that the package's extension also uses.
"""

from __future__ import annotations

import contextlib
import ctypes
import json
import os
import pathlib
import sys
from collections.abc import Callable, Iterator, Mapping
from dataclasses import dataclass
from typing import Any

__all__ = [
    "Account",
    "Computer",
    "JournalRecord",
    "RunRecord",
    "RunningInstance",
    "SddlRefused",
    "TaskRunStatus",
    "add_computer",
    "call_count",
    "clear_faults",
    "accounts",
    "add_group",
    "add_user",
    "clear_violations",
    "computers",
    "disconnect_service",
    "end_runs",
    "enter_apartment",
    "fail_next",
    "journal",
    "latency_waits",
    "leave_apartment",
    "outstanding",
    "pending_fault_calls",
    "pending_faults",
    "remove_computer",
    "remove_user",
    "runs",
    "set_caller",
    "set_environment",
    "set_latency",
    "set_password",
    "set_task_library",
    "sddl_canonical",
    "task_library",
    "task_state",
    "violations",
    "wait_runs",
]

_LIBRARY_NAME = "libwinemu.so"


class _OutstandingCounts(ctypes.Structure):
    _fields_ = [
        ("objects", ctypes.c_longlong),
        ("bstrs", ctypes.c_longlong),
        ("apartments", ctypes.c_longlong),
        ("buffers", ctypes.c_longlong),
        ("libraries", ctypes.c_longlong),
        ("mta_usages", ctypes.c_longlong),
    ]


class _JournalEntry(ctypes.Structure):
    _fields_ = [
        ("thread", ctypes.c_ulonglong),
        ("call", ctypes.c_char_p),
        ("object", ctypes.c_ulonglong),
        ("arguments", ctypes.c_char_p),
        ("has_result", ctypes.c_int),
        ("result", ctypes.c_longlong),
        ("apartments", ctypes.c_longlong),
        ("objects", ctypes.c_longlong),
        ("bstrs", ctypes.c_longlong),
    ]


def _load() -> ctypes.CDLL:
    if sys.platform == "win32":
        raise ImportError("morvane.emulator is not available on Windows, where the real scheduler is used")
    path = pathlib.Path(__file__).with_name(_LIBRARY_NAME)
    if not path.exists():
        raise ImportError(f"the emulator library is missing from the package: {path.name}")
    library = ctypes.CDLL(os.fspath(path))

    def declare(name: str, result: Any, *arguments: Any) -> None:
        function = getattr(library, name)
        function.restype = result
        function.argtypes = list(arguments)

    declare("winemu_task_library", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_set_task_library", ctypes.c_int, ctypes.c_char_p)
    declare("winemu_set_environment", ctypes.c_int, ctypes.POINTER(ctypes.c_char_p))
    declare(
        "winemu_fail_after", None, ctypes.c_char_p, ctypes.c_uint, ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p
    )
    declare("winemu_clear_faults", None)
    declare("winemu_set_caller", ctypes.c_int32, ctypes.c_char_p, ctypes.c_int)
    declare("winemu_add_user", ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_int,
            ctypes.POINTER(ctypes.c_char_p))
    declare("winemu_remove_user", ctypes.c_int32, ctypes.c_char_p)
    declare("winemu_set_password", ctypes.c_int32, ctypes.c_char_p, ctypes.c_char_p)
    declare("winemu_add_group", ctypes.c_int32, ctypes.c_char_p)
    declare("winemu_accounts", ctypes.c_int32, ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(ctypes.c_size_t))
    declare("winemu_pending_faults", ctypes.c_size_t)
    declare("winemu_pending_fault_calls", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_set_latency", None, ctypes.c_double)
    declare("winemu_latency_waits", ctypes.c_ulonglong)
    declare("winemu_disconnect_service", None, ctypes.c_int32)
    declare("winemu_add_computer", ctypes.c_int, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_double)
    declare("winemu_remove_computer", ctypes.c_int, ctypes.c_char_p)
    declare("winemu_computers", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_outstanding", _OutstandingCounts)
    declare("winemu_runs", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_wait_runs", ctypes.c_long, ctypes.c_char_p, ctypes.c_double)
    declare("winemu_end_runs", ctypes.c_long, ctypes.c_char_p, ctypes.c_double)
    declare("winemu_task_state", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_enter_apartment", ctypes.c_int32, ctypes.c_int)
    declare("winemu_leave_apartment", None)
    declare("winemu_call_count", ctypes.c_longlong, ctypes.c_char_p)
    declare("winemu_violations", ctypes.c_size_t, ctypes.c_char_p, ctypes.c_size_t)
    declare("winemu_clear_violations", None)
    declare("winemu_journal_start", None)
    declare("winemu_journal_stop", None)
    declare("winemu_journal_size", ctypes.c_size_t)
    declare("winemu_journal_record", ctypes.c_int, ctypes.c_size_t, ctypes.POINTER(_JournalEntry))
    declare(
        "winemu_trigger_run_times",
        ctypes.c_size_t,
        ctypes.c_char_p,
        ctypes.c_longlong,
        ctypes.c_longlong,
        ctypes.c_size_t,
        ctypes.POINTER(ctypes.c_longlong),
        ctypes.c_size_t,
        ctypes.POINTER(ctypes.c_int),
    )
    declare("winemu_sddl_canonical", ctypes.c_longlong, ctypes.c_char_p, ctypes.c_char_p, ctypes.c_size_t)
    return library


_winemu = _load()

_COPY_FAILED = ctypes.c_size_t(-1).value


def _copied_bytes(copy: Callable[..., int], *arguments: object) -> bytes | None:
    """Calls a winemu function that copies a text out, growing the buffer until it fits."""
    capacity = 256
    while True:
        buffer = ctypes.create_string_buffer(capacity)
        length = copy(*arguments, buffer, capacity)
        if length == _COPY_FAILED:
            return None
        if length < capacity:
            return buffer.raw[:length]
        capacity = length + 1


def _utf8(text: str | None) -> bytes | None:
    # surrogatepass lets tests hand winemu the unpaired surrogates that a str may hold.
    return None if text is None else text.encode("utf-8", "surrogatepass")


def _text(name: str, value: object, *, optional: bool = False) -> None:
    """Refuses what winemu cannot take as a text: another type, or a NUL character inside."""
    if value is None and optional:
        return
    if not isinstance(value, str):
        wanted = "str or None" if optional else "str"
        raise TypeError(f"{name} must be {wanted}, not {type(value).__name__}")
    if "\0" in value:
        raise ValueError(f"{name} cannot hold NUL characters")


def _signed_hresult(hresult: int) -> int:
    if not isinstance(hresult, int):
        raise TypeError(f"hresult must be an int, not {type(hresult).__name__}")
    if not -(2**31) <= hresult < 2**32:
        raise ValueError(f"an HRESULT is a 32-bit value, not {hresult}")
    return ctypes.c_int32(hresult).value


def task_library() -> pathlib.Path:
    """The directory that holds the emulated service's tasks."""
    return pathlib.Path(os.fsdecode(_copied_bytes(_winemu.winemu_task_library) or b""))


def set_task_library(path: str | os.PathLike[str]) -> None:
    """Makes the directory at path (relative to the current one) the task library.

    The directory is created when the service first needs it.
    """
    encoded = os.fsencode(path)
    if not encoded:
        raise ValueError("the task library needs a path")
    if b"\0" in encoded:
        raise ValueError("a path cannot hold NUL characters")
    _winemu.winemu_set_task_library(os.path.abspath(encoded))


def set_environment(environment: Mapping[str, str]) -> None:
    """Gives the emulated service's tasks this environment from their next run on.

    The service never reads the process's live environment (another thread may change it at
    any time): its actions get, and their %NAME% references expand from, a copy taken when
    morvane was imported, which this replaces (``set_environment(os.environ)`` takes the
    environment as it is now). It also holds the variables that choose the default task library.
    """
    entries = []
    for name, value in environment.items():
        entry = os.fsencode(name) + b"=" + os.fsencode(value)
        if b"\0" in entry or not name or "=" in name:
            raise ValueError(f"not an environment variable: {name!r}={value!r}")
        entries.append(entry)
    block = (ctypes.c_char_p * (len(entries) + 1))(*entries, None)
    if _winemu.winemu_set_environment(block) != 0:
        raise MemoryError("no memory for the service's environment")


def fail_next(
    call: str,
    hresult: int,
    *,
    description: str | None = None,
    plain_description: str | None = None,
    after: int = 0,
) -> None:
    """Makes the next call of the named platform function, on any thread, fail with hresult.

    hresult 0 means "reports success but hands back no object"; an allocator returns null
    (SysAllocStringLen with 1, S_FALSE: an empty string, whatever it was asked for).
    description leaves a restricted error object with that text on the failing thread,
    plain_description a plain IErrorInfo only (description wins when both are given).
    Faults queue up, and each is used once.
    after lets that many calls of the function through first (after=1 fails the second).
    Codes may be given signed or unsigned (0x80070005 and -2147024891 are the same).
    """
    _text("call", call)
    if not call or not call.isascii():
        raise ValueError(f"not the name of a platform call: {call!r}")
    _text("description", description, optional=True)
    _text("plain_description", plain_description, optional=True)
    if not isinstance(after, int):
        raise TypeError(f"after must be an int, not {type(after).__name__}")
    if not 0 <= after < 2**32:
        raise ValueError(f"after counts calls to let through, not {after!r}")
    _winemu.winemu_fail_after(
        call.encode("ascii"), after, _signed_hresult(hresult), _utf8(description), _utf8(plain_description)
    )


def clear_faults() -> None:
    """Drops every fault that has not been used yet."""
    _winemu.winemu_clear_faults()


def pending_faults() -> int:
    """How many queued faults have not struck yet (0 once every faulted call was made)."""
    return int(_winemu.winemu_pending_faults())


def pending_fault_calls() -> list[str]:
    """The platform calls named by the queued faults that have not struck yet, oldest first."""
    text = _copied_bytes(_winemu.winemu_pending_fault_calls) or b""
    return text.decode("utf-8", "replace").splitlines()


def set_latency(seconds: float) -> None:
    """Adds seconds to each call into the service, to stand in for the cost of the real one.

    0 switches the delay off; a delay longer than a day is cut to one day.
    """
    if not isinstance(seconds, (int, float)):
        raise TypeError(f"seconds must be a number, not {type(seconds).__name__}")
    if not seconds >= 0:
        raise ValueError(f"latency must be a number of seconds >= 0, not {seconds!r}")
    _winemu.winemu_set_latency(float(seconds))


def latency_waits() -> int:
    """How many service calls have waited a latency (this computer's or another computer's) since
    the process started."""
    return int(_winemu.winemu_latency_waits())


def disconnect_service(hresult: int = 0x80010108) -> None:
    """Makes the service go away under its callers, as a restart of the service does on Windows.

    Every service object made until now (service objects, folders, registered and running
    tasks, collections) answers each later call with hresult, as the proxy of an ended server
    does: RPC_E_DISCONNECTED (0x80010108, the default; 0 means the same) or, for example,
    RPC_S_SERVER_UNAVAILABLE (0x800706BA). Releasing them still works, and ITaskService's
    get_Connected answers false. A new connection (CoCreateInstance, Connect) works as before.
    Codes may be given signed or unsigned.
    """
    _winemu.winemu_disconnect_service(_signed_hresult(hresult))


@dataclass(frozen=True)
class Computer:
    """An emulated computer other than this one: its name, task library and latency per call."""

    name: str
    library: pathlib.Path
    latency: float


def add_computer(name: str, library: str | os.PathLike[str], *, latency: float = 0.0) -> None:
    """Adds a computer that ``Scheduler(name)`` (ITaskService::Connect) reaches by name.

    It has its own task library at library (a directory, created when first used, which also
    keeps its accounts) and waits latency seconds on every call made through a connection to it;
    Connect to a name no computer has answers RPC_S_SERVER_UNAVAILABLE. Names are compared
    ignoring ASCII case; this computer's own names ("", ".", "localhost", "127.0.0.1", the host
    name) always mean this computer. Adding a name again replaces that computer, as removing it
    would.
    """
    _text("name", name)
    other_computer = name not in ("", ".") and name.lower() != "localhost" and name.isprintable()
    if not other_computer or any(c in name for c in "\\/ "):
        raise ValueError(f"not the name of another computer: {name!r}")
    encoded = os.fsencode(library)
    if not encoded or b"\0" in encoded:
        raise ValueError("a computer's task library needs a path without NUL characters")
    if not isinstance(latency, (int, float)):
        raise TypeError(f"latency must be a number, not {type(latency).__name__}")
    if not latency >= 0:
        raise ValueError(f"latency must be a number of seconds >= 0, not {latency!r}")
    if _winemu.winemu_add_computer(_utf8(name), os.path.abspath(encoded), float(latency)) != 0:
        raise ValueError(f"winemu refused the computer {name!r}")


def remove_computer(name: str) -> None:
    """Takes a computer off the network: every session connected to it loses its connection.

    Its next call fails with RPC_S_SERVER_UNAVAILABLE (0x800706BA), as on Windows when a server
    goes away; a later call connects anew, and fails so while no computer has that name.
    KeyError when no computer has that name.
    """
    _text("name", name)
    if _winemu.winemu_remove_computer(_utf8(name)) != 0:
        raise KeyError(name)


def computers() -> list[Computer]:
    """The emulated computers added and not removed, ordered by name ignoring case."""
    text = _copied_bytes(_winemu.winemu_computers)
    if text is None:
        raise MemoryError("winemu could not list its computers")
    return [
        Computer(entry["name"], pathlib.Path(entry["library"]), float(entry["latency"]))
        for entry in json.loads(text.decode("utf-8"))
    ]


def outstanding() -> dict[str, int]:
    """What winemu has handed out and not taken back: COM objects, BSTRs, apartment entries,
    FormatMessageW buffers and HSTRINGs, library handles from LoadLibraryExA, multithreaded
    apartment usage cookies from CoIncrementMTAUsage."""
    counts = _winemu.winemu_outstanding()
    return {
        "objects": counts.objects,
        "bstrs": counts.bstrs,
        "apartments": counts.apartments,
        "buffers": counts.buffers,
        "libraries": counts.libraries,
        "mta_usages": counts.mta_usages,
    }


def violations() -> list[str]:
    """Misuse of the platform recorded so far, oldest first, one description each: a COM object
    used or released after its apartment ended, from another thread's single-threaded
    apartment, or from a single-threaded apartment when it belongs to the multithreaded one, a library freed more often than it was loaded, a multithreaded apartment usage
    cookie given back twice or never handed out."""
    found: list[str] = json.loads(_copied_bytes(_winemu.winemu_violations) or b"[]")
    return found


def clear_violations() -> None:
    """Forgets the violations recorded so far."""
    _winemu.winemu_clear_violations()


@dataclass(frozen=True)
class JournalRecord:
    """One platform call: on which thread, which call (and on which object, numbered in order of
    creation; 0 for a function), its arguments as "name=value, ...", what it returned (None for
    a function that returns nothing), and at entry the thread's apartment entries and the COM
    objects and BSTRs alive."""

    thread: int
    call: str
    object: int
    arguments: str
    result: int | None
    apartments: int
    objects: int
    bstrs: int


@contextlib.contextmanager
def journal() -> Iterator[list[JournalRecord]]:
    """Records every platform call made inside the block, on every thread.

    Yields a list that is filled with the records, oldest first, when the block ends. Journals
    do not nest: starting one drops what an enclosing one had recorded.
    """
    records: list[JournalRecord] = []
    _winemu.winemu_journal_start()
    try:
        yield records
    finally:
        _winemu.winemu_journal_stop()
        entry = _JournalEntry()
        for index in range(_winemu.winemu_journal_size()):
            if _winemu.winemu_journal_record(index, ctypes.byref(entry)) != 0:
                break
            records.append(
                JournalRecord(
                    thread=entry.thread,
                    call=entry.call.decode("utf-8", "replace"),
                    object=entry.object,
                    arguments=entry.arguments.decode("utf-8", "replace"),
                    result=entry.result if entry.has_result else None,
                    apartments=entry.apartments,
                    objects=entry.objects,
                    bstrs=entry.bstrs,
                )
            )


@dataclass(frozen=True)
class RunRecord:
    """One Exec action of a run: when it was recorded, with what argv, and how it went.

    The service's runner records the action before it starts and completes the record as it
    starts and ends. pid is the action's process once started, error why it could not start;
    end_time (seconds since 1970, like time) and exit_code (its exit status, or minus the signal
    that ended it) come once it has ended. run numbers the run the action belongs to (one run's
    actions share it). state is "starting", "queued" (its run waits for the task's earlier runs
    to end), "running", "ended", "terminated" (stopped, or past the task's time limit), "not
    started" (which ends its run: no later action starts), or "lost" when the runner died
    (killed) before recording the action's end: the run failed, and nothing runs any more. time
    is when the action was recorded (queued, or about to start), start_time when its process
    started. instance is the run's instance GUID (RunningTask.instance_guid); None in records
    made before runs had one. account is who the run ran as ("COMPUTER\\name", or the SID of a
    group or service account the computer does not know); None in records made before runs kept it.
    """

    time: float
    argv: tuple[str, ...]
    pid: int | None
    error: str | None
    end_time: float | None = None
    exit_code: int | None = None
    run: int = 0
    state: str = "ended"
    start_time: float | None = None
    instance: str | None = None
    account: str | None = None


def runs(task_name: str) -> list[RunRecord]:
    """The action records of a task, oldest first; empty when it never ran.

    Raises ValueError naming the task when its records file is damaged.
    """
    _text("task_name", task_name)
    text = _copied_bytes(_winemu.winemu_runs, _utf8(task_name))
    if text is None:
        raise ValueError(f"not a valid task name: {task_name!r}")
    try:
        return [_run_record(entry) for entry in json.loads(text)]
    except (ValueError, KeyError, TypeError) as error:
        # A records file edited or damaged on disk: say whose records they are, not only where
        # the JSON broke.
        raise ValueError(f"the start records of task {task_name!r} are damaged: {error}") from error


def _optional(value: object, kind: type | tuple[type, ...]) -> bool:
    return value is None or (isinstance(value, kind) and not isinstance(value, bool))


def _run_record(entry: dict[str, Any]) -> RunRecord:
    """One record as winemu writes it; a record of another shape raises TypeError or KeyError."""
    time, argv, pid, error = entry["time"], entry["argv"], entry["pid"], entry["error"]
    end_time, exit_code, run, state = entry["end_time"], entry["exit_code"], entry["run"], entry["state"]
    start_time = entry.get("start_time")  # not in records made before it was kept
    instance = entry.get("instance")  # nor the instance GUID
    account = entry.get("account")  # nor the account
    if (
        not isinstance(time, (int, float))
        or not isinstance(argv, list)
        or not all(isinstance(argument, str) for argument in argv)
        or not _optional(pid, int)
        or not _optional(error, str)
        or not _optional(end_time, (int, float))
        or not _optional(start_time, (int, float))
        or not (instance is None or isinstance(instance, str))
        or not (account is None or isinstance(account, str))
        or not _optional(exit_code, int)
        or not isinstance(run, int)
        or not isinstance(state, str)
    ):
        raise TypeError(f"a record of an unexpected shape: {entry!r}")
    return RunRecord(
        time=time, argv=tuple(argv), pid=pid, error=error, end_time=end_time, exit_code=exit_code, run=run,
        state=state, start_time=start_time, instance=instance, account=account,
    )


def _runs_of(task_name: str | None, seconds: float, control: Callable[..., int]) -> int:
    if task_name is not None:
        _text("task_name", task_name)
    if not isinstance(seconds, (int, float)) or not seconds >= 0:
        raise ValueError(f"a timeout is a number of seconds >= 0, not {seconds!r}")
    still = control(_utf8(task_name), float(seconds))
    if still < 0:
        raise ValueError(f"not a valid task name: {task_name!r}")
    return int(still)


def wait_runs(task_name: str | None = None, timeout: float = 10.0) -> int:
    """Waits up to timeout seconds for the runs of the task (None: of every task in the task
    library) to end; returns how many still run (0 once all have ended)."""
    return _runs_of(task_name, timeout, _winemu.winemu_wait_runs)


def end_runs(task_name: str | None = None, timeout: float = 2.0) -> int:
    """Stops the runs of the task (None: of every task in the task library) that still run:
    their actions are ended and recorded as terminated; runners that do not end within timeout
    seconds are killed with their actions. Returns how many still run (0 normally)."""
    return _runs_of(task_name, timeout, _winemu.winemu_end_runs)


@dataclass(frozen=True)
class RunningInstance:
    """A run of a task that is still going: its number, its current action's program and
    process (None until it starts), and its state ("starting", "queued" or "running")."""

    run: int
    action: str
    pid: int | None
    state: str


@dataclass(frozen=True)
class TaskRunStatus:
    """What the service keeps of a task's runs, as IRegisteredTask shows it.

    last_run_time: when the newest run started (seconds since 1970), None before any run.
    last_result: LastTaskResult, unsigned: SCHED_S_TASK_HAS_NOT_RUN (0x41303) before any run,
    SCHED_S_TASK_RUNNING (0x41301) while the newest run goes on, then the exit code of its last
    action, SCHED_S_TASK_TERMINATED (0x41306) after a stop or its time limit, 0x8007042B when the
    service's runner died, or the launch error (0x80070002) when its last action could not start.
    instances: the runs still going, oldest first.
    """

    last_run_time: float | None
    last_result: int
    instances: tuple[RunningInstance, ...]


def task_state(task_name: str) -> TaskRunStatus:
    """The state the emulated service keeps of a task.

    Raises ValueError naming the task when its records are damaged.
    """
    _text("task_name", task_name)
    text = _copied_bytes(_winemu.winemu_task_state, _utf8(task_name))
    if text is None:
        raise ValueError(f"not a valid task name: {task_name!r}")
    state = json.loads(text)
    if state["damaged"]:
        raise ValueError(f"the start records of task {task_name!r} are damaged")
    instances = tuple(
        RunningInstance(run=one["run"], action=one["action"], pid=one["pid"], state=one["state"])
        for one in state["instances"]
    )
    return TaskRunStatus(last_run_time=state["last_run_time"], last_result=state["last_result"], instances=instances)


def call_count(call: str) -> int:
    """How many times the named platform call was made in this process, on any thread."""
    _text("call", call)
    if not call.isascii():
        raise ValueError(f"not the name of a platform call: {call!r}")
    return int(_winemu.winemu_call_count(call.encode("ascii")))


def enter_apartment(multithreaded: bool) -> int:
    """Enters a COM apartment on the calling thread; returns CoInitializeEx's HRESULT, unsigned.

    It is counted like CoInitializeEx but is not a platform call: faults queued for
    CoInitializeEx leave it alone.
    """
    return int(_winemu.winemu_enter_apartment(1 if multithreaded else 0)) & 0xFFFFFFFF


def leave_apartment() -> None:
    """Leaves one apartment entry of the calling thread (CoUninitialize)."""
    _winemu.winemu_leave_apartment()


def trigger_run_times(definition: str, start: int, end: int, max_count: int = 0) -> tuple[list[int], bool]:
    """When the triggers of a definition start its task, as the emulated service computes them.

    The instants (whole seconds since 1970) within [start, end], ascending, the first max_count
    of them (0: all); and whether the definition has a time or calendar trigger (enabled or not). Times
    written without an offset are local times of the process's zone (TZ, after time.tzset()).
    """
    _text("definition", definition)
    for name, value in (("start", start), ("end", end), ("max_count", max_count)):
        if not isinstance(value, int) or isinstance(value, bool):
            raise TypeError(f"{name} must be an int, not {type(value).__name__}")
    if max_count < 0:
        raise ValueError(f"max_count cannot be negative: {max_count}")
    xml = _utf8(definition)
    has_time_triggers = ctypes.c_int(0)
    capacity = max_count or 256
    while True:
        times = (ctypes.c_longlong * capacity)()
        count = _winemu.winemu_trigger_run_times(
            xml, start, end, max_count, times, capacity, ctypes.byref(has_time_triggers)
        )
        if count == _COPY_FAILED:
            raise MemoryError("the emulator ran out of memory computing run times")
        if count <= capacity:
            return list(times[:count]), bool(has_time_triggers.value)
        capacity = count


class SddlRefused(ValueError):
    """An SDDL text the emulated service refuses; `hresult` is the code it answers."""

    def __init__(self, text: str, hresult: int) -> None:
        super().__init__(f"the emulated service refuses the SDDL text {text!r}: 0x{hresult:08X}")
        self.hresult = hresult


def sddl_canonical(text: str) -> str:
    """The canonical SDDL text of a security descriptor, as the emulated service reads and writes it.

    What ConvertSecurityDescriptorToStringSecurityDescriptor gives back for the descriptor that
    ConvertStringSecurityDescriptorToSecurityDescriptor reads from `text`: aliases for well-known
    SIDs, rights as letter codes where Windows writes them. A text the service refuses raises
    SddlRefused with its HRESULT (0x80070057 ERROR_INVALID_PARAMETER, 0x80070538 ERROR_INVALID_ACL,
    0x80070539 ERROR_INVALID_SID, 0x80070534 ERROR_NONE_MAPPED).
    """
    _text("text", text)
    encoded = _utf8(text)
    capacity = 256
    while True:
        buffer = ctypes.create_string_buffer(capacity)
        length = _winemu.winemu_sddl_canonical(encoded, buffer, capacity)
        if length < 0:
            hresult = length & 0xFFFFFFFF
            if hresult == 0x8007000E:
                raise MemoryError("the emulator ran out of memory reading an SDDL text")
            raise SddlRefused(text, hresult)
        if length < capacity:
            return buffer.raw[:length].decode("ascii")
        capacity = length + 1
# ---- accounts of the emulated computer -----------------------------------------------------------

_NONE_MAPPED = 0x80070534


@dataclass(frozen=True)
class Account:
    """An account of the emulated computer: kind is "user", "service" (SYSTEM, LOCAL SERVICE,
    NETWORK SERVICE) or "group"; groups are the SIDs of the groups it is counted in; has_password
    says whether a password is set. Its password itself is kept only as a hash, never handed out."""

    domain: str
    name: str
    sid: str
    kind: str
    administrator: bool
    has_password: bool
    groups: tuple[str, ...]


def _account_call(what: str, name: str, hresult: int) -> None:
    """Raises for a failed account call: KeyError for an unknown account, ValueError otherwise."""
    code = hresult & 0xFFFFFFFF
    if code == 0:
        return
    if code == _NONE_MAPPED:
        raise KeyError(f"{what}: no such account or group: {name!r}")
    raise ValueError(f"{what}{f' {name!r}' if name else ''} failed with HRESULT 0x{code:08X}")


def _secret_buffer(password: str | None) -> ctypes.Array[ctypes.c_char] | None:
    """A writable copy of the password that winemu overwrites with zeros once it has hashed it."""
    _text("password", password, optional=True)
    return None if password is None else ctypes.create_string_buffer(password.encode("utf-8", "surrogatepass"))


def set_caller(name: str, *, administrator: bool = True) -> None:
    """Makes the process call the service as the user `name` (made, without a password, when the
    computer has no such user), an administrator or not."""
    _text("name", name)
    _account_call("set_caller", name, _winemu.winemu_set_caller(_utf8(name), 1 if administrator else 0))


def add_user(name: str, password: str | None, *, administrator: bool = False, groups: tuple[str, ...] = ()) -> None:
    """Adds a local user with that password (None: none, so no logon with a password reaches it),
    a member of BUILTIN\\Administrators when administrator, and of the local groups named."""
    _text("name", name)
    for group in groups:
        _text("group", group)
    secret = _secret_buffer(password)
    names = (ctypes.c_char_p * (len(groups) + 1))(*[_utf8(group) for group in groups], None)
    _account_call("add_user", name, _winemu.winemu_add_user(_utf8(name), secret, 1 if administrator else 0, names))


def remove_user(name: str) -> None:
    """Removes a local user (from its groups too); removing the caller makes the process call as
    its own account again."""
    _text("name", name)
    _account_call("remove_user", name, _winemu.winemu_remove_user(_utf8(name)))


def set_password(name: str, password: str | None) -> None:
    """Sets a local user's password (None: none)."""
    _text("name", name)
    secret = _secret_buffer(password)
    _account_call("set_password", name, _winemu.winemu_set_password(_utf8(name), secret))


def add_group(name: str) -> None:
    """Adds a local group."""
    _text("name", name)
    _account_call("add_group", name, _winemu.winemu_add_group(_utf8(name)))


def accounts() -> dict[str, Any]:
    """The emulated computer's accounts: {"computer": name, "sid": its SID, "caller": the name the
    process calls as, "accounts": [Account, ...]} (the built-in ones first). Raises ValueError
    when the accounts file is damaged."""
    capacity = 4096
    while True:
        buffer = ctypes.create_string_buffer(capacity)
        length = ctypes.c_size_t(0)
        _account_call("accounts", "", _winemu.winemu_accounts(buffer, capacity, ctypes.byref(length)))
        if length.value < capacity:
            break
        capacity = length.value + 1
    found: dict[str, Any] = json.loads(buffer.raw[: length.value])
    found["accounts"] = [
        Account(
            domain=entry["domain"], name=entry["name"], sid=entry["sid"], kind=entry["kind"],
            administrator=entry["administrator"], has_password=entry["password"], groups=tuple(entry["groups"]),
        )
        for entry in found["accounts"]
    ]
    return found


def main(argv: list[str] | None = None) -> int:
    """python -m morvane.emulator [where | runs TASK]: shows the emulated service's state."""
    import argparse

    parser = argparse.ArgumentParser(prog="python -m morvane.emulator", description=main.__doc__)
    commands = parser.add_subparsers(dest="command")
    commands.add_parser("where", help="print the task library's directory (the default)")
    runs_parser = commands.add_parser("runs", help="print the start records of a task")
    runs_parser.add_argument("task")
    arguments = parser.parse_args(argv)

    if arguments.command == "runs":
        from morvane.run_lines import run_line

        for record in runs(arguments.task):
            print(run_line(record))
        return 0
    print(task_library())
    return 0


if __name__ == "__main__":
    raise SystemExit(main())
