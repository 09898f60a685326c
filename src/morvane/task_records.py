"""The records of registered tasks: TaskInfo, what the Task Scheduler tells of one, and its TaskState.

The extension module morvane._morvane_tasks makes these from the service's answers; they are
plain Python so that they compare, print and pickle like any dataclass and enum.
"""

from __future__ import annotations

import enum
from dataclasses import dataclass
from datetime import datetime
from typing import TYPE_CHECKING

if TYPE_CHECKING:  # a listing needs no definition model: it is imported by task_info's first call
    from morvane.definition.principal import Principal

__all__ = ["TaskInfo", "TaskState", "registered_principal"]


class TaskState(enum.IntEnum):
    """The service's state of a task (TASK_STATE), numbered as Windows numbers it."""

    UNKNOWN = 0
    DISABLED = 1
    QUEUED = 2
    READY = 3
    RUNNING = 4


@dataclass(frozen=True, slots=True)
class TaskInfo:
    """One registered task as the service sees it.

    ``path`` is its full path (``"\\\\Folder\\\\Name"``), ``name`` its last part. Times are aware
    datetimes in local time, with the UTC offset in force at that instant; ``None`` means never
    (the task has not run, or no run is scheduled). A local time that occurs twice (the hour
    repeated when daylight saving time ends) is taken as its first occurrence.
    ``last_task_result`` is the HRESULT or exit code of the last run, read unsigned.
    ``principal`` is the account the task runs as, read by ``task_info`` from the registered
    definition (as ``task_definition(name).principal``; None when the definition names none, and
    the task runs as the account that registered it). ``list_tasks`` leaves it None: reading it
    costs a definition per task.

    A task whose stored state the service cannot read (a damaged definition) is listed by
    ``list_tasks`` with state ``UNKNOWN``, ``enabled`` false, no times, no missed runs, and as
    ``last_task_result`` the HRESULT of the read that failed; ``task_info`` of it raises
    TaskSchedulerError.
    """

    path: str
    name: str
    enabled: bool
    state: TaskState
    last_run_time: datetime | None
    next_run_time: datetime | None
    last_task_result: int
    number_of_missed_runs: int
    principal: Principal | None = None


# Principals read from registered definitions, by the definition's text: task_info reads the
# definition on every call, and a task's text seldom changes, so a call seldom parses it. Bounded
# by emptying it when full; the principals are immutable, so sharing them is safe.
_principals: dict[str, Principal | None] = {}
_PRINCIPALS_KEPT = 256


def registered_principal(xml: str) -> Principal | None:
    """The principal of a registered definition's text, as TaskDefinition.from_xml reads it."""
    try:
        return _principals[xml]
    except KeyError:
        pass
    from morvane.definition import TaskDefinition

    principal = TaskDefinition.from_xml(xml).principal
    if len(_principals) >= _PRINCIPALS_KEPT:
        _principals.clear()
    _principals[xml] = principal
    return principal
