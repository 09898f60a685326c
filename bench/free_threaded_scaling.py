"""Throughput of 2 threads against 1 on a free-threaded CPython, with no service latency: calls
on two threads run in parallel on two cores. Alternated rounds; the median ratio is the last line
(goal: >= 1.7). Run it with the free-threaded interpreter (bench/run does)."""

import statistics
import sys
import sysconfig
import tempfile

import threaded_calls
from morvane import emulator

CALLS_PER_THREAD, ROUNDS = 4_000, 9


def throughput(threads):
    return threaded_calls.throughput(threads, CALLS_PER_THREAD)


def main():
    if not sysconfig.get_config_var("Py_GIL_DISABLED") or sys._is_gil_enabled():
        print("needs a free-threaded CPython with the interpreter lock off", file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        throughput(2)  # warm-up
        rounds = [(throughput(2), throughput(1)) for _ in range(ROUNDS)]
    print(f"calls per second: 2 threads {statistics.median(r[0] for r in rounds):.0f}, "
          f"1 thread {statistics.median(r[1] for r in rounds):.0f}")
    print(f"free-threaded throughput ratio, 2 threads / 1 thread: "
          f"{statistics.median(two / one for two, one in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
