"""Triggers: when the service starts a task, at a time, on a calendar, or on an event.

Every trigger has the schema's common elements (enabled, start and end boundaries, repetition,
execution time limit, id); a time or calendar trigger needs its start boundary (it gives the
time of day) and may delay each start at random; boot, registration, logon, session state
change and event triggers may delay the start by a fixed time.
"""

from __future__ import annotations

import dataclasses
import datetime
from collections.abc import Iterable, Mapping
from typing import Any

from morvane.definition.enums import DayOfWeek, Month, SessionStateChange, WeekOfMonth
from morvane.definition.unmodelled import Unmodelled
from morvane.definition.values import (
    ONE_MINUTE,
    THIRTY_ONE_DAYS,
    check_bool,
    check_duration,
    check_integer,
    check_moment,
    check_optional,
    check_optional_duration,
    check_optional_moment,
    check_optional_text,
    check_text,
    check_type,
    refuse,
    wrong_type,
)

__all__ = [
    "BootTrigger",
    "DailyTrigger",
    "EventTrigger",
    "IdleTrigger",
    "LogonTrigger",
    "MonthlyDayOfWeekTrigger",
    "MonthlyTrigger",
    "RegistrationTrigger",
    "Repetition",
    "SessionStateChangeTrigger",
    "TimeTrigger",
    "Trigger",
    "WeeklyTrigger",
]

# EventTrigger/ValueQueries holds at most 32 values; NumberOfOccurrences is 1 to 32.
_MOST_VALUE_QUERIES = 32


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class Repetition:
    """Start the task again every interval (one minute to 31 days) for duration (at least a
    minute; None: indefinitely), stopping running instances at its end if stop_at_duration_end."""

    interval: datetime.timedelta
    duration: datetime.timedelta | None = None
    stop_at_duration_end: bool = False
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        check_duration(self, "interval", self.interval, ONE_MINUTE, THIRTY_ONE_DAYS)
        check_optional_duration(self, "duration", self.duration, ONE_MINUTE)
        check_bool(self, "stop_at_duration_end", self.stop_at_duration_end)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class Trigger:
    """The elements every trigger has. Not made itself: make one of its subclasses."""

    enabled: bool = True
    start_boundary: datetime.datetime | None = None
    end_boundary: datetime.datetime | None = None
    repetition: Repetition | None = None
    execution_time_limit: datetime.timedelta | None = None
    id: str | None = None
    unmodelled: Unmodelled | None = dataclasses.field(default=None, repr=False)

    def __post_init__(self) -> None:
        if type(self) is Trigger:
            raise TypeError("Trigger is the base of the triggers: make a TimeTrigger, DailyTrigger... instead")
        check_bool(self, "enabled", self.enabled)
        if _needs_start(self):
            check_moment(self, "start_boundary", self.start_boundary)
        else:
            check_optional_moment(self, "start_boundary", self.start_boundary)
        check_optional_moment(self, "end_boundary", self.end_boundary)
        check_optional(self, "repetition", self.repetition, Repetition)
        check_optional_duration(self, "execution_time_limit", self.execution_time_limit)
        check_optional_text(self, "id", self.id)
        self._check()

    def _check(self) -> None:
        """The checks of a kind of trigger's own fields."""


def _needs_start(trigger: Trigger) -> bool:
    return isinstance(trigger, (TimeTrigger, DailyTrigger, WeeklyTrigger, MonthlyTrigger, MonthlyDayOfWeekTrigger))


def _check_flags(owner: object, field: str, value: object, kind: type) -> None:
    if type(value) is not kind:
        raise wrong_type(owner, field, f"a {kind.__name__} (members combined with |)", value)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class TimeTrigger(Trigger):
    """Starts the task once, at start_boundary (required)."""

    random_delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_optional_duration(self, "random_delay", self.random_delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class DailyTrigger(Trigger):
    """Starts the task every days_interval days (1 to 365) at the time of start_boundary."""

    days_interval: int = 1
    random_delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_integer(self, "days_interval", self.days_interval, 1, 365)
        check_optional_duration(self, "random_delay", self.random_delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class WeeklyTrigger(Trigger):
    """Starts the task on days_of_week every weeks_interval weeks (1 to 52)."""

    days_of_week: DayOfWeek
    weeks_interval: int = 1
    random_delay: datetime.timedelta | None = None

    def _check(self) -> None:
        _check_flags(self, "days_of_week", self.days_of_week, DayOfWeek)
        check_integer(self, "weeks_interval", self.weeks_interval, 1, 52)
        check_optional_duration(self, "random_delay", self.random_delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class MonthlyTrigger(Trigger):
    """Starts the task on days_of_month (1 to 31), and on the last day of each month if
    last_day_of_month, in months."""

    days_of_month: frozenset[int] = frozenset()
    last_day_of_month: bool = False
    months: Month = Month.ALL
    random_delay: datetime.timedelta | None = None

    def _check(self) -> None:
        days = self.days_of_month
        if type(days) is not frozenset:
            if not isinstance(days, Iterable) or isinstance(days, (str, bytes)):
                raise wrong_type(self, "days_of_month", "a set of int", days)
            days = frozenset(days)
            object.__setattr__(self, "days_of_month", days)
        for day in days:
            if type(day) is not int:
                raise wrong_type(self, "days_of_month", "a set of int", day)
            if not 1 <= day <= 31:
                raise refuse(self, "days_of_month", f"{day} is no day of a month (1 to 31)")
        check_bool(self, "last_day_of_month", self.last_day_of_month)
        _check_flags(self, "months", self.months, Month)
        check_optional_duration(self, "random_delay", self.random_delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class MonthlyDayOfWeekTrigger(Trigger):
    """Starts the task on days_of_week of weeks (the first to fourth, and the last, of the
    month), in months."""

    days_of_week: DayOfWeek
    weeks: WeekOfMonth = WeekOfMonth.ALL
    months: Month = Month.ALL
    random_delay: datetime.timedelta | None = None

    def _check(self) -> None:
        _check_flags(self, "days_of_week", self.days_of_week, DayOfWeek)
        _check_flags(self, "weeks", self.weeks, WeekOfMonth)
        _check_flags(self, "months", self.months, Month)
        check_optional_duration(self, "random_delay", self.random_delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class BootTrigger(Trigger):
    """Starts the task when the system starts, after delay."""

    delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_optional_duration(self, "delay", self.delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class RegistrationTrigger(Trigger):
    """Starts the task when it is registered or updated, after delay."""

    delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_optional_duration(self, "delay", self.delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class IdleTrigger(Trigger):
    """Starts the task when the computer becomes idle (see Settings.idle_settings)."""


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class LogonTrigger(Trigger):
    """Starts the task when user_id (None: any user) logs on, after delay."""

    user_id: str | None = None
    delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_optional_text(self, "user_id", self.user_id, non_empty=True)
        check_optional_duration(self, "delay", self.delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class SessionStateChangeTrigger(Trigger):
    """Starts the task on state_change of user_id's session (None: any user's), after delay."""

    state_change: SessionStateChange
    user_id: str | None = None
    delay: datetime.timedelta | None = None

    def _check(self) -> None:
        check_type(self, "state_change", self.state_change, SessionStateChange)
        check_optional_text(self, "user_id", self.user_id, non_empty=True)
        check_optional_duration(self, "delay", self.delay)


@dataclasses.dataclass(frozen=True, slots=True, kw_only=True)
class EventTrigger(Trigger):
    """Starts the task when an event matches subscription (an event query, ``<QueryList>...``),
    after delay; value_queries name XPath queries whose values reach the task (name, query).
    number_of_occurrences (1 to 32) within period_of_occurrence, with matching_element, narrow
    the start to repeated events."""

    subscription: str
    delay: datetime.timedelta | None = None
    period_of_occurrence: datetime.timedelta | None = None
    number_of_occurrences: int | None = None
    matching_element: str | None = None
    value_queries: tuple[tuple[str, str], ...] = ()

    def _check(self) -> None:
        check_text(self, "subscription", self.subscription, non_empty=True)
        check_optional_duration(self, "delay", self.delay)
        check_optional_duration(self, "period_of_occurrence", self.period_of_occurrence)
        if self.number_of_occurrences is not None:
            check_integer(self, "number_of_occurrences", self.number_of_occurrences, 1, 32)
        check_optional_text(self, "matching_element", self.matching_element, non_empty=True)
        queries = self.value_queries
        if isinstance(queries, Mapping):
            queries = tuple(queries.items())
        elif type(queries) is not tuple:
            if not isinstance(queries, list):
                raise wrong_type(self, "value_queries", "a tuple of (name, query) pairs or a dict", queries)
            queries = tuple(queries)
        if len(queries) > _MOST_VALUE_QUERIES:
            raise refuse(self, "value_queries", f"at most {_MOST_VALUE_QUERIES} queries")
        pairs = []
        given: Any
        for given in queries:
            pair: Any = given
            if type(pair) is not tuple:
                if not isinstance(pair, (list, tuple)) or len(pair) != 2:
                    raise wrong_type(self, "value_queries", "(name, query) pairs", pair)
                pair = tuple(pair)
            if len(pair) != 2:
                raise wrong_type(self, "value_queries", "(name, query) pairs", pair)
            check_text(self, "value_queries", pair[0])
            check_text(self, "value_queries", pair[1], non_empty=True)
            pairs.append(pair)
        if queries is not self.value_queries or pairs != list(queries):
            object.__setattr__(self, "value_queries", tuple(pairs))
