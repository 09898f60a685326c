"""Start records as `morvane runs` prints them: the outcome of each, and an end time and exit code
shown once a record carries them, never made up when it does not."""

import datetime
import sys
from dataclasses import dataclass

import pytest

if sys.platform == "win32":
    pytest.skip("`morvane runs` and its records exist only where the emulated scheduler is used",
                allow_module_level=True)

from morvane.emulator import RunRecord  # noqa: E402
from morvane.run_lines import run_line  # noqa: E402

START = 1_700_000_000.25


@dataclass(frozen=True)
class FinishedRecord(RunRecord):
    """A record as the service will keep it once it records how each action ended."""

    end_time: float | None = None
    exit_code: int | None = None


def local(seconds):
    return datetime.datetime.fromtimestamp(seconds).astimezone().isoformat(timespec="seconds")


@pytest.mark.parametrize(
    "record, tail",
    [
        (RunRecord(START, ("a.exe", "x y", ""), 7, None), 'a.exe "x y" "" (pid 7)'),
        (RunRecord(START, ("gone",), None, "No such file"), "gone (not started: No such file)"),
        (RunRecord(START, ("a.exe",), None, None), "a.exe (no outcome recorded)"),
        (FinishedRecord(START, ("a.exe",), 7, None, START + 2, 3),
         f"a.exe (pid 7, ended {local(START + 2)}, exit code 3)"),
        (FinishedRecord(START, ("a.exe",), 7, None, None, None), "a.exe (pid 7)"),  # still running
        (RunRecord(START, ("a.exe",), None, None, state="queued"), "a.exe (queued)"),
        (RunRecord(START, ("a.exe",), 7, None, START + 3, 0, state="ended", start_time=START + 2),
         f"a.exe (pid 7, started {local(START + 2)}, ended {local(START + 3)}, exit code 0)"),  # waited in the queue
    ],
)
def test_each_outcome(record, tail):
    assert run_line(record) == f"{local(START)} {tail}"
