"""What a call of the module costs from Python, measured side by side in one run.

- task_exists of a missing task against os.path.exists of the file that would hold it: the
  cheapest Python-level look at the same library.
- a malformed call (refused while binding) against the same call made right.
- 4 threads against 1 while each service call takes 2 ms: the interpreter lock is released.
"""

import os
import sys
import tempfile
import threading
import time
import timeit

import morvane
from morvane import emulator


def best_of(statement, number, repeat=7):
    return min(timeit.repeat(statement, number=number, repeat=repeat)) / number


def per_call_ratios():
    library = emulator.task_library()
    would_hold = os.path.join(library, "t.MISSING")
    rows = []
    for _ in range(3):  # interleaved, so that a noisy moment hits both sides alike
        module = best_of(lambda: morvane.task_exists("Missing"), 2000)
        plain = best_of(lambda: os.path.exists(would_hold), 2000)
        refused = best_of(lambda: _refused(), 2000)
        rows.append((module, plain, refused))
    module, plain, refused = (min(column) for column in zip(*rows))
    print(f"task_exists(missing) / os.path.exists: {module / plain:6.2f}  "
          f"({module * 1e6:.1f} us vs {plain * 1e6:.2f} us)")
    print(f"malformed call / task_exists(missing): {refused / module:6.3f}  "
          f"({refused * 1e6:.2f} us: refused before the scheduler is touched)")


def _refused():
    try:
        morvane.task_exists(5)
    except TypeError:
        pass


def thread_gain(threads=4, calls_per_thread=25, latency=0.002):
    emulator.set_latency(latency)
    try:
        def work():
            for _ in range(calls_per_thread):
                morvane.task_exists("Missing")

        def timed(count):
            workers = [threading.Thread(target=work) for _ in range(count)]
            started = time.perf_counter()
            for worker in workers:
                worker.start()
            for worker in workers:
                worker.join()
            return (time.perf_counter() - started) / (count * calls_per_thread)

        one = min(timed(1) for _ in range(3))
        many = min(timed(threads) for _ in range(3))
    finally:
        emulator.set_latency(0)
    print(f"throughput, {threads} threads / 1 thread at {latency * 1e3:.0f} ms per service call: {one / many:5.2f}")


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        morvane.register_xml("Present", '<Task version="1.2" '
                             'xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Actions>'
                             "<Exec><Command>/bin/true</Command></Exec></Actions></Task>")
        per_call_ratios()
        thread_gain()
    return 0


if __name__ == "__main__":
    sys.exit(main())
