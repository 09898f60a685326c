"""running_tasks() with 100 running instances (100 tasks in 10 folders, one instance each) against
list_tasks(recursive=True) of the same 100 tasks, alternated round by round; the median of the
rounds' ratios is the last line (goal: <= 2). Both walk the library and read every definition;
running_tasks also reads each task's run records, tests each live run's lock and makes a
RunningTask of each instance.

    python bench/running_tasks.py [TASKS]      (default 100)
"""

import sys
import tempfile
import time

from alternated import report_times

import morvane
from morvane import emulator

FOLDERS, ROUNDS = 10, 15
SLEEPER = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
           '<Actions><Exec><Command>/bin/sleep</Command><Arguments>600</Arguments></Exec></Actions></Task>')


def timed(call):
    started = time.perf_counter()
    call()
    return time.perf_counter() - started


def main():
    tasks = int(sys.argv[1]) if len(sys.argv) > 1 else 100
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        try:
            for index in range(tasks):
                name = f"Folder{index % FOLDERS}\\Task{index}"
                morvane.register_xml(name, SLEEPER)
                morvane.start_task(name)
            if len(morvane.running_tasks()) != tasks or len(morvane.list_tasks(recursive=True)) != tasks:
                print(f"expected {tasks} instances and tasks", file=sys.stderr)
                return 1

            def instances():
                morvane.running_tasks()

            def listing():
                morvane.list_tasks(recursive=True)

            timed(instances), timed(listing)  # warm-up
            rounds = [(timed(instances), timed(listing)) for _ in range(ROUNDS)]
        finally:
            emulator.end_runs()
    report_times(rounds, f"running_tasks() of {tasks} instances", f"list_tasks(recursive=True) of {tasks} tasks",
                 "running_tasks / list_tasks ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
