# examples/test_nightly_report.py: testing code that manages tasks, with morvane's pytest plugin
import pathlib

import morvane
from morvane import emulator
from nightly_report import schedule_nightly_report


def test_the_report_is_scheduled_and_started(scheduled_tasks: pathlib.Path) -> None:
    schedule_nightly_report()
    assert morvane.task_exists("Reports\\Nightly")
    [start] = emulator.runs("Reports\\Nightly")  # the start records of the task
    assert start.argv == ("whoami",) and start.error is None
