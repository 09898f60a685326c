"""Tasks as `morvane list` prints them: columns that line up on a terminal whatever the cells hold
(wide characters too), times to the second as `runs` prints them, "never" for a time that is
none, and a last result in hexadecimal only where it is a code of the system."""

import datetime
import enum
from dataclasses import dataclass

import pytest

from morvane.task_lines import display_width, result_text, table_lines

State = enum.Enum("State", "UNKNOWN DISABLED QUEUED READY RUNNING")
RAN = datetime.datetime(2025, 3, 14, 8, 26, 53, 589000, tzinfo=datetime.timezone.utc)
NEXT = RAN + datetime.timedelta(days=1)


@dataclass(frozen=True)
class Info:
    path: str
    name: str
    enabled: bool
    state: State
    last_run_time: datetime.datetime | None
    next_run_time: datetime.datetime | None
    last_task_result: int
    number_of_missed_runs: int = 0


def local(moment):
    return moment.astimezone().isoformat(timespec="seconds")


@pytest.mark.parametrize(
    "code, text",
    [
        (0, "0"),
        (1, "1"),
        (0x7FFFFFFF, "2147483647"),  # an exit code, however large
        (0x41303, "0x00041303"),  # SCHED_S_TASK_HAS_NOT_RUN
        (0x41325, "0x00041325"),  # SCHED_S_TASK_QUEUED
        (0x412FF, "267007"),  # just outside the scheduler's range
        (0x80070002, "0x80070002"),
        (0xFFFFFFF7, "0xFFFFFFF7"),  # a process that signal 9 ended: minus the signal
    ],
)
def test_result_text(code, text):
    assert result_text(code) == text


def test_a_table_lines_up_and_keeps_a_damaged_task():
    ready = Info("\\Backup", "Backup", True, State.READY, RAN, NEXT, 0)
    damaged = Info("\\Tools\\A long name", "A long name", False, State.UNKNOWN, None, None, 0x8007000D)
    lines = table_lines([ready, damaged])
    assert lines == [
        f"TASK                STATE    LAST RUN{' ' * 19}LAST RESULT  NEXT RUN",
        f"\\Backup             Ready    {local(RAN)}  0            {local(NEXT)}",
        f"\\Tools\\A long name  Unknown  never{' ' * 22}0x8007000D   never",
    ]
    assert "." not in lines[1]  # to the second, as the service keeps a task's times
    assert table_lines([]) == []


def test_columns_line_up_by_the_width_a_terminal_gives():
    # Two columns per CJK character, none for a combining accent: each row's STATE starts in the
    # same terminal column as the heading's.
    names = ["\\\u5099\u4efd\u4f5c\u696d", "\\Cafe\u0301", "\\Plain"]
    lines = table_lines([Info(name, name[1:], True, State.READY, None, None, 0) for name in names])
    heading = display_width(lines[0].split("STATE")[0])
    assert [display_width(line.split("Ready")[0]) for line in lines[1:]] == [heading] * 3
    assert lines[1].startswith("\\\u5099\u4efd\u4f5c\u696d  Ready")

