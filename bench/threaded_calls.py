"""Throughput of task_exists calls on several threads started together, for the benches that
compare thread counts."""

import threading
import time

import morvane


def throughput(threads, calls_per_thread):
    """Calls per second over all threads, each making calls_per_thread calls of a missing task."""
    barrier = threading.Barrier(threads + 1)

    def work():
        barrier.wait()
        for _ in range(calls_per_thread):
            morvane.task_exists("Missing")

    workers = [threading.Thread(target=work) for _ in range(threads)]
    for worker in workers:
        worker.start()
    barrier.wait()
    started = time.perf_counter()
    for worker in workers:
        worker.join()
    return threads * calls_per_thread / (time.perf_counter() - started)
