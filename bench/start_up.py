"""Start-up: `python -c pass`, `python -c "import morvane"` and the console script's
`morvane exists Missing`, each started as a process of its own and waited for, alternated round by
round. Prints what importing morvane adds (goal: within 10 ms) and the ratio of the command line
to a bare interpreter as the last line (goal: <= 2).

Each process is measured by the CPU time it used (user and system, as wait4 reports it): on a
machine that other work shares, the time a process waits for a CPU says more of that work than of
the process; the wall-clock medians are printed too."""

import os
import statistics
import sys
import tempfile
import time

ROUNDS = 41


def timed(argv, environment):
    """(CPU seconds, wall-clock seconds) of one run of argv."""
    started = time.perf_counter()
    pid = os.posix_spawn(argv[0], argv, environment)
    _, status, usage = os.wait4(pid, 0)
    elapsed = time.perf_counter() - started
    if os.waitstatus_to_exitcode(status) not in (0, 1):  # exists: 1 for a missing task
        raise SystemExit(f"{argv} failed: {status}")
    return usage.ru_utime + usage.ru_stime, elapsed


def main():
    python = sys.executable
    script = os.path.join(os.path.dirname(python), "morvane")
    commands = {
        "python -c pass": [python, "-c", "pass"],
        "python -c 'import morvane'": [python, "-c", "import morvane"],
        "morvane exists Missing": [script, "exists", "Missing"],
    }
    with tempfile.TemporaryDirectory() as library:
        # As an installation runs: from the bytecode that the warm-up writes (pip writes it too),
        # however the shell that runs the bench is set.
        environment = {**os.environ, "MORVANE_TASK_LIBRARY": library}
        for setting in ("PYTHONDONTWRITEBYTECODE", "PYTHONUNBUFFERED", "PYTHONPROFILEIMPORTTIME", "PYTHONDEVMODE"):
            environment.pop(setting, None)
        for argv in commands.values():  # warm-up: the files in the page cache, .pyc written
            timed(argv, environment)
        measured = [[timed(argv, environment) for argv in commands.values()] for _ in range(ROUNDS)]
    rounds = [[cpu for cpu, _ in one] for one in measured]
    for label, index in (("CPU", 0), ("wall clock", 1)):
        medians = [statistics.median(run[index] for run in runs) for runs in zip(*measured)]
        print(f"{label}: " + ", ".join(f"{name}: {median * 1e3:.1f} ms" for name, median in zip(commands, medians)))
    import_cost = statistics.median(imported - bare for bare, imported, _ in rounds)
    print(f"import morvane beyond python -c pass (CPU, median of {ROUNDS} alternated rounds): {import_cost * 1e3:.1f} ms, "
          f"ratio {statistics.median(imported / bare for bare, imported, _ in rounds):.2f}")
    print(f"morvane exists vs python -c pass (CPU, median of {ROUNDS} alternated rounds): "
          f"{statistics.median(exists / bare for bare, _, exists in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
