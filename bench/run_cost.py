"""What a run costs its caller: run_task of a one-action task (/bin/true) against
subprocess.Popen of the same command, the same number of calls each, alternated round by round.
Each call is timed alone; its run (or process) is waited for outside the timing, and the machine
given a moment to settle, before the next call, so that what is measured is the caller's cost
and not the load of the earlier runs' ending processes. The median of the rounds' ratios
is the last line (goal: <= 1.5)."""

import subprocess
import sys
import tempfile
import time

from alternated import report_times

import morvane
from morvane import emulator

CALLS, ROUNDS = 50, 15
SETTLE = 0.01  # seconds after each call
TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')


def run_tasks():
    spent = 0.0
    for _ in range(CALLS):
        started = time.perf_counter()
        morvane.run_task("True")
        spent += time.perf_counter() - started
        emulator.wait_runs("True")
        time.sleep(SETTLE)
    return spent / CALLS


def popens():
    spent = 0.0
    for _ in range(CALLS):
        started = time.perf_counter()
        child = subprocess.Popen(["/bin/true"])
        spent += time.perf_counter() - started
        child.wait()
        time.sleep(SETTLE)
    return spent / CALLS


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        morvane.register_xml("True", TASK_XML)
        run_tasks(), popens()  # warm-up
        rounds = [(run_tasks(), popens()) for _ in range(ROUNDS)]
    report_times(rounds, "run_task", "subprocess.Popen", "run cost ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
