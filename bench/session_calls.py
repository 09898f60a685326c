"""What a call on a Scheduler costs: task_exists of a missing task on one open session against
os.path.exists of the file where winemu would keep that task (goal: <= 1.5), and the module-level
task_exists, which connects for each call, against the session's. The same number of calls each,
alternated round by round; the median of the rounds' ratios, the session's ratio last."""

import os
import statistics
import sys
import tempfile
import time

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
    with tempfile.TemporaryDirectory() as library, morvane.Scheduler() as scheduler:
        emulator.set_task_library(library)
        scheduler.register_xml("Present", TASK_XML)  # the library's directory exists from here on
        # A task "Missing" would be the file t.MISSING in the library's root directory.
        would_hold = os.path.join(emulator.task_library(), "t.MISSING")

        def session():
            scheduler.task_exists("Missing")

        def function():
            morvane.task_exists("Missing")

        def plain():
            os.path.exists(would_hold)

        calls = (session, function, plain)
        for call in calls:  # warm-up
            timed(call, CALLS)
        rounds = [[timed(call, CALLS) for call in calls] for _ in range(ROUNDS)]

    session_time, function_time, plain_time = (statistics.median(times) for times in zip(*rounds))
    print(f"Scheduler.task_exists(missing): {session_time * 1e6:.2f} us, task_exists(missing): "
          f"{function_time * 1e6:.2f} us, os.path.exists: {plain_time * 1e6:.2f} us")
    print(f"task_exists over Scheduler.task_exists (median of {ROUNDS} alternated rounds): "
          f"{statistics.median(function / session for session, function, _ in rounds):.2f}")
    print(f"Scheduler.task_exists over os.path.exists (median of {ROUNDS} alternated rounds): "
          f"{statistics.median(session / plain for session, _, plain in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
