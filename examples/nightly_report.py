"""User code to test: schedules the nightly report task and starts it once right away."""

from __future__ import annotations

import pathlib

import morvane

DEFINITION = pathlib.Path(__file__).with_name("example_task.utf16.xml")


def schedule_nightly_report() -> None:
    morvane.register_xml("Reports\\Nightly", morvane.read_task_xml(DEFINITION))
    morvane.run_task("Reports\\Nightly")
