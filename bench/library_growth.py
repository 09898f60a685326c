"""register + exists + delete per second in a task library of 100,000 tasks against one of 100:
no call lists a directory, so the rate should hardly depend on the library's size. Alternated
rounds; the median ratio large / small is the last line (goal: >= 0.8).

    python bench/library_growth.py [TASKS]      (default 100000; filling it takes a few minutes)
"""

import statistics
import sys
import tempfile
import time
from concurrent.futures import ThreadPoolExecutor

import morvane
from morvane import emulator

TASK_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
            '<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>')
CYCLES, ROUNDS = 200, 7


def fill(library, tasks):
    emulator.set_task_library(library)
    # The service waits on the disk with the interpreter lock released: threads fill it faster.
    with ThreadPoolExecutor(8) as pool:
        for _ in pool.map(lambda index: morvane.register_xml(f"Folder{index % 100}\\Task{index}", TASK_XML),
                          range(tasks)):
            pass


def rate(library):
    emulator.set_task_library(library)
    started = time.perf_counter()
    for index in range(CYCLES):
        name = f"Folder{index % 100}\\Probe{index}"
        morvane.register_xml(name, TASK_XML)
        morvane.task_exists(name)
        morvane.delete_task(name)
    return CYCLES / (time.perf_counter() - started)


def main():
    tasks = int(sys.argv[1]) if len(sys.argv) > 1 else 100_000
    with tempfile.TemporaryDirectory() as small, tempfile.TemporaryDirectory() as large:
        started = time.perf_counter()
        fill(small, 100)
        fill(large, tasks)
        print(f"filled libraries of 100 and {tasks} tasks in {time.perf_counter() - started:.0f} s",
              file=sys.stderr)
        rate(small), rate(large)  # warm-up
        rounds = [(rate(large), rate(small)) for _ in range(ROUNDS)]
    print(f"cycles per second: {tasks} tasks {statistics.median(r[0] for r in rounds):.0f}, "
          f"100 tasks {statistics.median(r[1] for r in rounds):.0f}")
    print(f"growth ratio, {tasks} tasks / 100 tasks: {statistics.median(big / few for big, few in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
