"""What a call of the module costs beyond the look-up itself: task_exists of a missing task
against os.path.exists of the file where winemu would keep that task, the same number of calls
each, alternated round by round; the median of the rounds' ratios is the last line (goal: <= 2)."""

import os
import sys
import tempfile
import time

from alternated import report_times

import morvane
from morvane import emulator

CALLS, ROUNDS = 5_000, 21
TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')


def timed(call, count):
    started = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - started) / count


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        morvane.register_xml("Present", TASK_XML)  # the library's directory exists from here on
        # A task "Missing" would be the file t.MISSING in the library's root directory.
        would_hold = os.path.join(emulator.task_library(), "t.MISSING")

        def module():
            morvane.task_exists("Missing")

        def plain():
            os.path.exists(would_hold)

        timed(module, CALLS), timed(plain, CALLS)  # warm-up
        rounds = [(timed(module, CALLS), timed(plain, CALLS)) for _ in range(ROUNDS)]
    report_times(rounds, "task_exists(missing)", "os.path.exists", "call overhead ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
