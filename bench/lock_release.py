"""Throughput of 8 threads against 1 while each service call takes 2 ms: the module releases the
interpreter lock while the service works. Alternated rounds; the median ratio is the last line
(goal: >= 6)."""

import statistics
import sys
import tempfile

import threaded_calls
from morvane import emulator

LATENCY, CALLS_PER_THREAD, ROUNDS = 0.002, 20, 5


def throughput(threads):
    return threaded_calls.throughput(threads, CALLS_PER_THREAD)


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        emulator.set_latency(LATENCY)
        try:
            rounds = [(throughput(8), throughput(1)) for _ in range(ROUNDS)]
        finally:
            emulator.set_latency(0)
    print(f"calls per second at {LATENCY * 1e3:.0f} ms per service call: "
          f"8 threads {statistics.median(r[0] for r in rounds):.0f}, 1 thread {statistics.median(r[1] for r in rounds):.0f}")
    print(f"throughput ratio, 8 threads / 1 thread: {statistics.median(many / one for many, one in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
