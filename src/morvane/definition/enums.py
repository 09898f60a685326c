"""The enumerations of the task schema: logon types, run levels, the policy for instances, the
kinds of session state change, and the sets of days, months and weeks of calendar triggers.

Each member's value is the text the schema writes, or for the sets the bit the Task Scheduler's
API gives it (TASK_MONDAY, TASK_JANUARY, TASK_FIRST_WEEK...), so that sets combine with ``|``.
"""

from __future__ import annotations

import enum

__all__ = ["DayOfWeek", "LogonType", "Month", "MultipleInstancesPolicy", "RunLevel", "SessionStateChange", "WeekOfMonth"]


class LogonType(enum.Enum):
    """How the task's user logs on to run it (Principal/LogonType)."""

    S4U = "S4U"
    PASSWORD = "Password"
    INTERACTIVE_TOKEN = "InteractiveToken"
    INTERACTIVE_TOKEN_OR_PASSWORD = "InteractiveTokenOrPassword"


class RunLevel(enum.Enum):
    """The privileges the task runs with (Principal/RunLevel)."""

    LEAST_PRIVILEGE = "LeastPrivilege"
    HIGHEST_AVAILABLE = "HighestAvailable"


class MultipleInstancesPolicy(enum.Enum):
    """What a start does while an instance of the task runs (Settings/MultipleInstancesPolicy)."""

    PARALLEL = "Parallel"
    QUEUE = "Queue"
    IGNORE_NEW = "IgnoreNew"
    STOP_EXISTING = "StopExisting"


class SessionStateChange(enum.Enum):
    """The change of a user session that starts a SessionStateChangeTrigger."""

    CONSOLE_CONNECT = "ConsoleConnect"
    CONSOLE_DISCONNECT = "ConsoleDisconnect"
    REMOTE_CONNECT = "RemoteConnect"
    REMOTE_DISCONNECT = "RemoteDisconnect"
    SESSION_LOCK = "SessionLock"
    SESSION_UNLOCK = "SessionUnlock"


class DayOfWeek(enum.Flag):
    """Days of the week of weekly and monthly day-of-week triggers; combine with ``|``."""

    SUNDAY = 0x01
    MONDAY = 0x02
    TUESDAY = 0x04
    WEDNESDAY = 0x08
    THURSDAY = 0x10
    FRIDAY = 0x20
    SATURDAY = 0x40
    WEEKDAYS = MONDAY | TUESDAY | WEDNESDAY | THURSDAY | FRIDAY
    ALL = 0x7F


class Month(enum.Flag):
    """Months of monthly triggers; combine with ``|``."""

    JANUARY = 0x001
    FEBRUARY = 0x002
    MARCH = 0x004
    APRIL = 0x008
    MAY = 0x010
    JUNE = 0x020
    JULY = 0x040
    AUGUST = 0x080
    SEPTEMBER = 0x100
    OCTOBER = 0x200
    NOVEMBER = 0x400
    DECEMBER = 0x800
    ALL = 0xFFF


class WeekOfMonth(enum.Flag):
    """Weeks of the month of monthly day-of-week triggers; combine with ``|``."""

    FIRST = 0x01
    SECOND = 0x02
    THIRD = 0x04
    FOURTH = 0x08
    LAST = 0x10
    ALL = 0x1F
