"""Registers the example task, runs it, shows that it started, and removes it again.

    python examples/register_run_delete.py [DEFINITION]

DEFINITION defaults to example_task.utf16.xml beside this script, a task as Windows exports it.
On Windows this needs a prompt that may create tasks (access denied otherwise); elsewhere it
acts on the emulated scheduler's task library.
"""

from __future__ import annotations

import pathlib
import sys

import morvane

TASK_NAME = "morvane example"


def show_starts(task_name: str) -> None:
    """Prints the task's start records, which the emulated scheduler keeps (not on Windows)."""
    if sys.platform == "win32":
        return
    from morvane import emulator

    for record in emulator.runs(task_name):
        outcome = f"pid {record.pid}" if record.error is None else f"could not start: {record.error}"
        print(f"started {' '.join(record.argv)} ({outcome})")


def main(arguments: list[str]) -> int:
    path = pathlib.Path(arguments[0]) if arguments else pathlib.Path(__file__).with_name("example_task.utf16.xml")
    try:
        definition = morvane.read_task_xml(path)
    except (OSError, UnicodeDecodeError) as error:
        print(f"cannot read the task definition: {error}", file=sys.stderr)
        return 2
    try:
        morvane.register_xml(TASK_NAME, definition)
        try:
            morvane.run_task(TASK_NAME)
            show_starts(TASK_NAME)
        finally:
            # Removed even when starting failed, so that no half-done example stays behind.
            morvane.delete_task(TASK_NAME)
    except morvane.TaskPermissionError as error:
        print(f"{error}: on Windows, run this from an elevated prompt", file=sys.stderr)
        return 4
    except morvane.TaskSchedulerError as error:
        print(error, file=sys.stderr)
        return 5
    print(f"registered, ran and deleted {TASK_NAME!r}; it exists now: {morvane.task_exists(TASK_NAME)}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
