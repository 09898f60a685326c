"""list_tasks(recursive=True) over a library of 10,000 tasks in 100 folders against Python walking
the same library's directory and reading every definition file once (the least a listing must
do), alternated round by round; the median of the rounds' ratios is the last line (goal: <= 2).

    python bench/list_tasks.py [TASKS]      (default 10000, in 100 folders)
"""

import os
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

from alternated import report_times

import morvane
from morvane import emulator

FOLDERS, ROUNDS = 100, 11
TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')


def fill(tasks):
    # Registered through the service, as a user's tasks are: the files are the store's own. The
    # service waits on the disk with the interpreter lock released: threads fill it faster.
    with ThreadPoolExecutor(8) as pool:
        for _ in pool.map(lambda index: morvane.register_xml(f"Folder{index % FOLDERS}\\Task{index}", TASK_XML),
                          range(tasks)):
            pass


def read_every_definition(library):
    """Walks the library and reads each task's definition file ("t." and the name) once."""
    count = 0
    for folder, _, files in os.walk(library):
        for name in files:
            if name.startswith("t."):
                with open(os.path.join(folder, name), "rb") as file:
                    file.read()
                count += 1
    return count


def timed(call):
    started = time.perf_counter()
    call()
    return time.perf_counter() - started


def main():
    tasks = int(sys.argv[1]) if len(sys.argv) > 1 else 10_000
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        started = time.perf_counter()
        fill(tasks)
        print(f"filled a library of {tasks} tasks in {time.perf_counter() - started:.0f} s", file=sys.stderr)
        listed, read = len(morvane.list_tasks(recursive=True)), read_every_definition(library)
        if listed != tasks or read != tasks:
            print(f"listed {listed} tasks and read {read} files of {tasks}", file=sys.stderr)
            return 1

        def module():
            morvane.list_tasks(recursive=True)

        def plain():
            read_every_definition(library)

        timed(module), timed(plain)  # warm-up
        rounds = [(timed(module), timed(plain)) for _ in range(ROUNDS)]
    report_times(rounds, f"list_tasks(recursive=True) of {tasks}", "walk and read", "listing ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
