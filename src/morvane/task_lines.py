"""What the scheduler tells of tasks, as text to read and as JSON for scripts.

    TASK              STATE    LAST RUN                       LAST RESULT  NEXT RUN
    \\Backup           Ready    2025-03-14T09:26:53+01:00  0            2025-03-15T09:00:00+01:00
    \\Tools\\Cleanup    Disabled never                      0x00041303   never

Times are local, in ISO 8601 to the second with their offset from UTC, as the start records of
``morvane runs`` and the run times of ``morvane next`` show them: the service keeps a task's
times to the second. Columns are aligned by the width a terminal gives the text, so that a name
in Chinese or Japanese characters, two columns each, does not shift its row. A task's last result is shown in hexadecimal when it is a code of
the system rather than a program's exit code: an HRESULT that reports a failure (0x80000000 and
above, which is also where a negative exit code lands) or one of the scheduler's success codes
(SCHED_S_*, 0x00041300 to 0x000413FF, "has not run", "running", "terminated"...); any other value
is an exit code and shown in decimal, as ``runs`` shows exit codes.
"""

from __future__ import annotations

import datetime
import enum
from collections.abc import Iterable
from typing import TYPE_CHECKING, Any, Protocol

from morvane.logon_type import LogonType, principal_logon_type

if TYPE_CHECKING:
    from morvane.definition.principal import Principal

__all__ = ["JSON_KEYS", "info_lines", "json_record", "local_time", "result_text", "table_lines"]


class _TaskInfo(Protocol):
    @property
    def path(self) -> str: ...
    @property
    def name(self) -> str: ...
    @property
    def enabled(self) -> bool: ...
    @property
    def state(self) -> enum.Enum: ...
    @property
    def last_run_time(self) -> datetime.datetime | None: ...
    @property
    def next_run_time(self) -> datetime.datetime | None: ...
    @property
    def last_task_result(self) -> int: ...
    @property
    def number_of_missed_runs(self) -> int: ...
    @property
    def principal(self) -> Principal | None: ...


# The keys of a task's JSON record, in this order, whatever fields TaskInfo gains later: scripts
# read them by name.
JSON_KEYS = (
    "path",
    "name",
    "enabled",
    "state",
    "last_run_time",
    "next_run_time",
    "last_task_result",
    "number_of_missed_runs",
    "principal",
)

# The scheduler's success codes (SCHED_S_TASK_READY 0x41300 ... SCHED_S_TASK_QUEUED 0x41325): the
# facility ITF with the scheduler's code range.
_SCHEDULER_SUCCESS_CODES = range(0x00041300, 0x00041400)


def local_time(moment: datetime.datetime | None) -> str | None:
    """An aware time as local time in ISO 8601, to the second, with its UTC offset."""
    if moment is None:
        return None
    return moment.astimezone().isoformat(timespec="seconds")


def display_width(text: str) -> int:
    """The columns a terminal gives text: two for a wide character (East Asian wide or
    full-width), none for a combining mark or a format character, one for any other."""
    import unicodedata

    width = 0
    for character in text:
        if unicodedata.combining(character) or unicodedata.category(character) in ("Me", "Mn", "Cf"):
            continue
        width += 2 if unicodedata.east_asian_width(character) in ("W", "F") else 1
    return width


def result_text(code: int) -> str:
    """A last result: a system code in hexadecimal, an exit code in decimal."""
    if code >= 0x80000000 or code in _SCHEDULER_SUCCESS_CODES:
        return f"0x{code:08X}"
    return str(code)


def _state_text(state: enum.Enum) -> str:
    # "Ready", "Running", "Disabled": as Windows' own tools show a task's state.
    return state.name.capitalize()


def _row(info: _TaskInfo) -> tuple[str, ...]:
    return (
        info.path,
        _state_text(info.state),
        local_time(info.last_run_time) or "never",
        result_text(info.last_task_result),
        local_time(info.next_run_time) or "never",
    )


def table_lines(infos: Iterable[_TaskInfo]) -> list[str]:
    """The tasks as a table with a heading, one line per task; no lines at all for no tasks."""
    rows = [_row(info) for info in infos]
    if not rows:
        return []
    rows.insert(0, ("TASK", "STATE", "LAST RUN", "LAST RESULT", "NEXT RUN"))
    widths = [max(display_width(row[column]) for row in rows) for column in range(len(rows[0]) - 1)]
    return [
        "  ".join([*(cell + " " * (width - display_width(cell)) for cell, width in zip(row, widths)), row[-1]])
        for row in rows
    ]


def info_lines(info: _TaskInfo) -> list[str]:
    """One task, a property a line."""
    return [
        f"path:         {info.path}",
        f"name:         {info.name}",
        f"enabled:      {'yes' if info.enabled else 'no'}",
        f"state:        {_state_text(info.state)}",
        f"last run:     {local_time(info.last_run_time) or 'never'}",
        f"last result:  {result_text(info.last_task_result)}",
        f"next run:     {local_time(info.next_run_time) or 'never'}",
        f"missed runs:  {info.number_of_missed_runs}",
        *_principal_lines(info.principal),
    ]


def _principal_lines(principal: Principal | None) -> list[str]:
    # The account as the service wrote it (COMPUTER\name for a user, a SID for a group or a
    # service account), and the logon type as --logon-type spells it. A definition without a
    # principal runs as the account that registered it, the logon type left to the service.
    if principal is None:
        return ["runs as:      the account that registered it", f"logon type:   {LogonType.NONE.name}"]
    return [
        f"runs as:      {principal.user_id or principal.group_id or 'unknown'}",
        f"logon type:   {principal_logon_type(principal).name}",
    ]


def json_record(info: _TaskInfo) -> dict[str, Any]:
    """One task for json.dumps: the state by its name, times in ISO 8601 or null for never, the
    principal as an object (null where it was not read: a listing reads none)."""
    record: dict[str, Any] = {key: getattr(info, key) for key in JSON_KEYS}
    record["state"] = info.state.name
    record["last_run_time"] = local_time(info.last_run_time)
    record["next_run_time"] = local_time(info.next_run_time)
    record["principal"] = _principal_record(info.principal)
    return record


def _principal_record(principal: Principal | None) -> dict[str, Any] | None:
    if principal is None:
        return None
    return {
        "user_id": principal.user_id,
        "group_id": principal.group_id,
        "logon_type": principal_logon_type(principal).name,
        "run_level": principal.run_level.name if principal.run_level is not None else None,
    }
