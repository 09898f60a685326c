"""What register_task adds to a registration, on one session and the same task: register_task of
an object whose to_xml() returns the XML text against register_task of the text, then (the goal,
the same cost: a ratio of about 1) register_task of the text against register_xml of it; each
pair alternated round by round, the median of the rounds' ratios printed on its last line."""

import sys
import tempfile
import time

from alternated import report_times

import morvane
from morvane import RegisterMode, emulator

ROUNDS = 21
CALLS = 300
XML = ('<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
       "<Triggers><CalendarTrigger><StartBoundary>2026-01-01T02:00:00</StartBoundary>"
       "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>"
       "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>")


class Model:
    def to_xml(self):
        return XML


def timed(call):
    started = time.perf_counter()
    for _ in range(CALLS):
        call()
    return (time.perf_counter() - started) / CALLS


def alternated(first, second):
    timed(first), timed(second)  # warm-up
    return [(timed(first), timed(second)) for _ in range(ROUNDS)]


def main():
    with tempfile.TemporaryDirectory() as library, morvane.Scheduler() as scheduler:
        emulator.set_task_library(library)
        scheduler.register_xml("Tools\\Nightly", XML)
        model = Model()

        def by_xml():
            scheduler.register_xml("Tools\\Nightly", XML)

        def by_task():
            scheduler.register_task("Tools\\Nightly", XML, mode=RegisterMode.UPDATE)

        def by_model():
            scheduler.register_task("Tools\\Nightly", model, mode=RegisterMode.UPDATE)

        model_rounds = alternated(by_model, by_task)
        text_rounds = alternated(by_task, by_xml)
    report_times(model_rounds, "register_task(model)", "register_task(str)", "register_task model / str ratio")
    report_times(text_rounds, "register_task(str)", "register_xml", "register_task / register_xml ratio")
    return 0


if __name__ == "__main__":
    sys.exit(main())
