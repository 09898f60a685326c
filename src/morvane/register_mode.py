"""RegisterMode: how register_task treats a task that exists, or does not."""

from __future__ import annotations

import enum

__all__ = ["RegisterMode"]


class RegisterMode(enum.IntFlag):
    """The Task Scheduler's TASK_CREATION flags that register_task takes, with their values.

    ``CREATE`` registers a new task only (an existing one: TaskSchedulerError, ERROR_ALREADY_EXISTS,
    0x800700B7); ``UPDATE`` replaces the definition of an existing task only (a missing one:
    ERROR_FILE_NOT_FOUND, 0x80070002); ``CREATE_OR_UPDATE`` (``CREATE | UPDATE``) does either.
    """

    CREATE = 2
    UPDATE = 4
    CREATE_OR_UPDATE = 6
