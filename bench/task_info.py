"""What reading a task costs: task_info of a present task against task_exists of the same task
(goal: <= 3), then run_times of a year of a daily trigger repeated hourly (8,760 times) against
task_info (goal: <= 2); each pair alternated round by round, the median of the rounds' ratios
printed on the pair's last line."""

import datetime
import sys
import tempfile
import time

from alternated import report_times

import morvane
from morvane import emulator

ROUNDS = 21
INFO_CALLS, RUN_TIMES_CALLS = 2_000, 20
HOURLY_XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
              "<Triggers><CalendarTrigger><Repetition><Interval>PT1H</Interval><Duration>P1D</Duration></Repetition>"
              "<StartBoundary>2026-01-01T00:00:00Z</StartBoundary>"
              "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>"
              "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>")
# A year from the trigger's first run, in UTC: 365 days of 24 runs, whatever the local time's
# daylight-saving changes.
START = datetime.datetime(2026, 1, 1, tzinfo=datetime.timezone.utc)
END = datetime.datetime(2026, 12, 31, 23, 59, 59, tzinfo=datetime.timezone.utc)


def timed(call, count):
    started = time.perf_counter()
    for _ in range(count):
        call()
    return (time.perf_counter() - started) / count


def alternated(first, second, first_calls, second_calls):
    timed(first, first_calls), timed(second, second_calls)  # warm-up
    return [(timed(first, first_calls), timed(second, second_calls)) for _ in range(ROUNDS)]


def main():
    with tempfile.TemporaryDirectory() as library:
        emulator.set_task_library(library)
        morvane.register_xml("Tools\\Hourly", HOURLY_XML)
        count = len(morvane.run_times("Tools\\Hourly", START, END))
        print(f"run_times of the year: {count} times (8760 expected)", file=sys.stderr)

        def info():
            morvane.task_info("Tools\\Hourly")

        def exists():
            morvane.task_exists("Tools\\Hourly")

        def run_times():
            morvane.run_times("Tools\\Hourly", START, END)

        info_rounds = alternated(info, exists, INFO_CALLS, INFO_CALLS)
        run_times_rounds = alternated(run_times, info, RUN_TIMES_CALLS, INFO_CALLS)
    report_times(info_rounds, "task_info", "task_exists", "task_info / task_exists ratio")
    report_times(run_times_rounds, f"run_times ({count} times)", "task_info", "run_times / task_info ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
