"""A fleet from one process: 200 emulated computers whose services answer each call after 5 ms,
managed by 32 threads, each holding a Scheduler for every computer it is given. Each thread lists
every task of its computers and reads each task's info. Prints the calls served per second
against the ideal, threads / latency (every thread always waiting on exactly one call)."""

import os
import pathlib
import sys
import tempfile
import threading
import time

import morvane
from morvane import emulator

COMPUTERS = int(os.environ.get("FLEET_COMPUTERS", "200"))
THREADS = int(os.environ.get("FLEET_THREADS", "32"))
TASKS_PER_COMPUTER = 4
LATENCY = 0.005

DEFINITION = """<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Actions><Exec><Command>maintenance.exe</Command></Exec></Actions>
</Task>"""


def make_fleet(root: pathlib.Path) -> list[str]:
    names = [f"HOST{index:03d}" for index in range(COMPUTERS)]
    local = emulator.task_library()
    for name in names:
        emulator.set_task_library(root / name)
        for task in range(TASKS_PER_COMPUTER):
            morvane.register_xml(f"Maintenance\\Job{task}", DEFINITION)
    emulator.set_task_library(local)
    for name in names:
        emulator.add_computer(name, root / name, latency=LATENCY)
    return names


def survey(computers: list[str], seen: list[int]) -> None:
    sessions = [morvane.Scheduler(name) for name in computers]
    try:
        for scheduler in sessions:
            for task in scheduler.list_tasks(recursive=True):
                scheduler.task_info(task.path)
                seen.append(1)
    finally:
        for scheduler in sessions:
            scheduler.close()


def main() -> None:
    with tempfile.TemporaryDirectory() as scratch:
        root = pathlib.Path(scratch)
        emulator.set_task_library(root / "local")
        names = make_fleet(root)
        shares = [names[start::THREADS] for start in range(THREADS)]
        seen: list[int] = []
        barrier = threading.Barrier(THREADS + 1)

        def work(share: list[str]) -> None:
            barrier.wait()
            survey(share, seen)

        workers = [threading.Thread(target=work, args=(share,)) for share in shares]
        for worker in workers:
            worker.start()
        waits_before = emulator.latency_waits()
        barrier.wait()
        began = time.perf_counter()
        for worker in workers:
            worker.join()
        elapsed = time.perf_counter() - began
        waits = emulator.latency_waits() - waits_before
        for name in names:
            emulator.remove_computer(name)
    assert len(seen) == COMPUTERS * TASKS_PER_COMPUTER, len(seen)
    served = waits / elapsed
    ideal = THREADS / LATENCY
    print(
        f"fleet: {COMPUTERS} computers, {THREADS} threads, {LATENCY * 1000:.0f} ms a call: {waits} calls "
        f"in {elapsed:.2f} s, {served:.0f} calls/s against the ideal {ideal:.0f}"
    )
    print(f"fleet ratio (served / ideal, goal >= 0.7): {served / ideal:.2f}")


if __name__ == "__main__":
    sys.exit(main())
