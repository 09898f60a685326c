"""What a run costs its caller: run_task of a one-action task against subprocess.Popen of the
same command, alternated round by round, in two ways:

- alone: each call timed by itself, a round's figure the median of its calls (one call that the
  machine's other work held up does not make the round); its run (or process) is waited for
  outside the timing, and the machine given a moment to settle, before the next call;
- a burst: 20 calls back to back timed as one, as a deployment script starts its tasks (20
  tasks, one run each); the 20 runs (or processes) are waited for after the timing.

"The same command": the task's one action is an executable with arguments (/bin/sh -c "exit 0",
found by path, no shell of the service's), and subprocess.Popen is given that program and those
arguments as a list. What is timed is the caller's cost up to the return of the call, not the
command's end: run_task returns once the service has recorded the run and handed it to its runner
(the run goes on, detached), Popen once the program has been executed in the child. Neither call
waits for the command to end; the runs' and processes' ends are waited for, untimed, so that each
round starts from a quiet machine, and what the earlier calls of a burst leave running (the
runners, their forks and their actions) competes with its later calls, as it does in use.

Prints each median and each ratio (the median of the rounds' ratios); goals: alone <= 1.2, a
burst <= 1.5 (the last line)."""

import statistics
import subprocess
import sys
import tempfile
import time

import morvane
from morvane import emulator

ALONE_CALLS, BURST, ROUNDS = 20, 20, 15
SETTLE = 0.01  # seconds after each call alone, and after each burst's ends
PROGRAM, ARGUMENTS = "/bin/sh", ["-c", "exit 0"]
TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            f'<Actions><Exec><Command>{PROGRAM}</Command><Arguments>-c "exit 0"</Arguments></Exec></Actions></Task>')
TASKS = [f"Deploy{number}" for number in range(BURST)]


def run_tasks_alone():
    spent = []
    for name in TASKS[:ALONE_CALLS]:
        started = time.perf_counter()
        morvane.run_task(name)
        spent.append(time.perf_counter() - started)
        emulator.wait_runs(name)
        time.sleep(SETTLE)
    return statistics.median(spent)


def popens_alone():
    spent = []
    for _ in range(ALONE_CALLS):
        started = time.perf_counter()
        child = subprocess.Popen([PROGRAM, *ARGUMENTS])
        spent.append(time.perf_counter() - started)
        child.wait()
        time.sleep(SETTLE)
    return statistics.median(spent)


def run_tasks_burst():
    started = time.perf_counter()
    for name in TASKS:
        morvane.run_task(name)
    spent = time.perf_counter() - started
    emulator.wait_runs(None)
    time.sleep(SETTLE)
    return spent


def popens_burst():
    started = time.perf_counter()
    children = [subprocess.Popen([PROGRAM, *ARGUMENTS]) for _ in range(BURST)]
    spent = time.perf_counter() - started
    for child in children:
        child.wait()
    time.sleep(SETTLE)
    return spent


def report(rounds, what, goal):
    run_task = statistics.median(one for one, _ in rounds)
    popen = statistics.median(other for _, other in rounds)
    ratio = statistics.median(one / other for one, other in rounds)
    print(f"{what}: run_task {run_task * 1e6:.0f} us, subprocess.Popen {popen * 1e6:.0f} us")
    print(f"run cost ratio, {what} (median of {len(rounds)} alternated rounds; goal <= {goal}): {ratio:.2f}")


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        for name in TASKS:
            morvane.register_xml(name, TASK_XML)
        run_tasks_alone(), popens_alone(), run_tasks_burst(), popens_burst()  # warm-up
        alone, burst = [], []
        for _ in range(ROUNDS):
            alone.append((run_tasks_alone(), popens_alone()))
            burst.append((run_tasks_burst(), popens_burst()))
        records = [run for name in TASKS for run in emulator.runs(name)]
        assert all(run.exit_code == 0 for run in records), "a run did not end as its command does"
    report(alone, "alone", 1.2)
    report(burst, f"a burst of {BURST}", 1.5)
    return 0


if __name__ == "__main__":
    sys.exit(main())
