"""What a call refused while binding costs: task_exists() without its argument against divmod(1),
a CPython built-in that raises the same kind of TypeError (a missing argument), alternated
rounds; the median ratio is the last line (goal: <= 1.5)."""

import statistics
import sys
import time

import morvane

CALLS, ROUNDS = 20_000, 21


def timed(call, count):
    started = time.perf_counter()
    for _ in range(count):
        try:
            call()
        except TypeError:
            pass
    return (time.perf_counter() - started) / count


def main():
    task_exists = morvane.task_exists
    # Both through a lambda, so that each side pays the same Python call around the failing one.
    module, builtin = (lambda: task_exists()), (lambda: divmod(1))
    timed(module, CALLS), timed(builtin, CALLS)  # warm-up
    rounds = [(timed(module, CALLS), timed(builtin, CALLS)) for _ in range(ROUNDS)]
    print(f"task_exists(): {statistics.median(r[0] for r in rounds) * 1e6:.2f} us, "
          f"divmod(1): {statistics.median(r[1] for r in rounds) * 1e6:.2f} us")
    print(f"binding failure ratio, task_exists() / divmod(1): {statistics.median(a / b for a, b in rounds):.2f}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
