"""Settings: how the service runs a task, with the defaults the task schema documents."""

from __future__ import annotations

import dataclasses
import datetime

from morvane.definition.enums import MultipleInstancesPolicy
from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import (
    ONE_MINUTE,
    THIRTY_ONE_DAYS,
    check_bool,
    check_duration,
    check_type,
    check_guid,
    check_integer,
    check_optional,
    check_optional_duration,
    check_optional_text,
)

__all__ = ["IdleSettings", "NetworkSettings", "RestartOnFailure", "Settings"]


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class IdleSettings:
    """How the task treats an idle computer: how long it must have been idle (duration), how
    long to wait for that (wait_timeout), whether to stop when it stops being idle and to
    restart when it is idle again."""

    duration: datetime.timedelta = datetime.timedelta(minutes=10)
    wait_timeout: datetime.timedelta = datetime.timedelta(hours=1)
    stop_on_idle_end: bool = True
    restart_on_idle: bool = False
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_duration(self, "duration", self.duration, ONE_MINUTE)
        check_duration(self, "wait_timeout", self.wait_timeout, ONE_MINUTE)
        check_bool(self, "stop_on_idle_end", self.stop_on_idle_end)
        check_bool(self, "restart_on_idle", self.restart_on_idle)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class RestartOnFailure:
    """Restart a failed task every interval (one minute to 31 days), at most count times (1 to 255)."""

    interval: datetime.timedelta
    count: int
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_duration(self, "interval", self.interval, ONE_MINUTE, THIRTY_ONE_DAYS)
        check_integer(self, "count", self.count, 1, 255)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class NetworkSettings:
    """The network profile the task needs (with Settings.run_only_if_network_available): its
    name, and its GUID in braces."""

    name: str | None = None
    id: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_optional_text(self, "name", self.name, non_empty=True)
        if self.id is not None:
            check_guid(self, "id", self.id)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class Settings:
    """The task's settings. ``execution_time_limit`` of zero lets the task run without limit;
    ``delete_expired_task_after`` None keeps an expired task; ``priority`` is 0 (highest) to
    10 (lowest)."""

    multiple_instances: MultipleInstancesPolicy = MultipleInstancesPolicy.IGNORE_NEW
    disallow_start_if_on_batteries: bool = True
    stop_if_going_on_batteries: bool = True
    allow_hard_terminate: bool = True
    start_when_available: bool = False
    run_only_if_network_available: bool = False
    network_settings: NetworkSettings | None = None
    idle_settings: IdleSettings = IdleSettings()
    allow_start_on_demand: bool = True
    enabled: bool = True
    hidden: bool = False
    run_only_if_idle: bool = False
    wake_to_run: bool = False
    execution_time_limit: datetime.timedelta = datetime.timedelta(hours=72)
    delete_expired_task_after: datetime.timedelta | None = None
    priority: int = 7
    restart_on_failure: RestartOnFailure | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_type(self, "multiple_instances", self.multiple_instances, MultipleInstancesPolicy)
        for field in _FLAGS:
            check_bool(self, field, getattr(self, field))
        check_optional(self, "network_settings", self.network_settings, NetworkSettings)
        check_type(self, "idle_settings", self.idle_settings, IdleSettings)
        check_duration(self, "execution_time_limit", self.execution_time_limit)
        check_optional_duration(self, "delete_expired_task_after", self.delete_expired_task_after)
        check_integer(self, "priority", self.priority, 0, 10)
        check_optional(self, "restart_on_failure", self.restart_on_failure, RestartOnFailure)


_FLAGS = (
    "disallow_start_if_on_batteries",
    "stop_if_going_on_batteries",
    "allow_hard_terminate",
    "start_when_available",
    "run_only_if_network_available",
    "allow_start_on_demand",
    "enabled",
    "hidden",
    "run_only_if_idle",
    "wake_to_run",
)
