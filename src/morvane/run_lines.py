"""The start records of a task as lines to read: one per start, its time, its command, its outcome.

    2025-03-14T09:26:53+01:00 backup.exe /target "D:\\Old Backups" (pid 4242)

Times are local, in ISO 8601 to the second with their offset from UTC, as ``list`` and ``info``
show a task's times. The command line is quoted as Windows
programs split it (the rules of CommandLineToArgvW, by which the service split the action's
Arguments), so that an argument "two words" and the two arguments two words read differently.
"""

from __future__ import annotations

import datetime
import subprocess
from typing import Protocol

__all__ = ["run_line"]


class _StartRecord(Protocol):
    @property
    def time(self) -> float: ...
    @property
    def argv(self) -> tuple[str, ...]: ...
    @property
    def pid(self) -> int | None: ...
    @property
    def error(self) -> str | None: ...


def _local_time(seconds: float) -> str:
    """Seconds since 1970 as local time in ISO 8601, to the second, with the UTC offset."""
    return datetime.datetime.fromtimestamp(seconds).astimezone().isoformat(timespec="seconds")


def run_line(record: _StartRecord) -> str:
    """One start record as a line.

    A record's end time and exit code are shown when the record carries them (``end_time``, in
    seconds since 1970, and ``exit_code``); records that do not know them leave them out rather
    than guess.
    """
    state: str | None = getattr(record, "state", None)
    if record.error is not None:
        outcome = [f"not started: {record.error}"]
    elif state == "queued":
        outcome = ["queued"]  # waits for the task's earlier runs to end
    else:
        outcome = [f"pid {record.pid}"] if record.pid is not None else []
        # A run that waited in the queue started well after it was recorded; others within moments.
        start_time: float | None = getattr(record, "start_time", None)
        if start_time is not None and start_time - record.time >= 0.1:
            outcome.append(f"started {_local_time(start_time)}")
        end_time: float | None = getattr(record, "end_time", None)
        exit_code: int | None = getattr(record, "exit_code", None)
        if end_time is not None:
            outcome.append(f"ended {_local_time(end_time)}")
        if exit_code is not None:
            outcome.append(f"exit code {exit_code}")
        if state in ("terminated", "lost"):
            outcome.append("terminated" if state == "terminated" else "lost: the service's runner ended first")
    # list2cmdline writes the quoting that CommandLineToArgvW undoes.
    command = subprocess.list2cmdline(record.argv)
    return f"{_local_time(record.time)} {command} ({', '.join(outcome) or 'no outcome recorded'})"
