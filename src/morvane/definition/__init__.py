"""Task definitions as Python objects: build a task without writing XML, read one into objects.

    TaskDefinition(actions=(...), triggers=(...), registration_info=..., principal=...,
                   settings=..., actions_context=None)
        .to_xml()                  the XML, as Windows exports it
        .write(path)               the XML to a file, UTF-16 with a byte order mark
        TaskDefinition.from_xml(text)
                                   a definition read from its XML (read_task_xml reads a file)

Triggers: TimeTrigger, DailyTrigger, WeeklyTrigger, MonthlyTrigger, MonthlyDayOfWeekTrigger,
BootTrigger, LogonTrigger, IdleTrigger, EventTrigger, RegistrationTrigger,
SessionStateChangeTrigger, each with Repetition, boundaries and limits. Actions: ExecAction,
ComHandlerAction. RegistrationInfo, Principal, Settings (IdleSettings, NetworkSettings,
RestartOnFailure). Enumerations: LogonType, RunLevel, MultipleInstancesPolicy,
SessionStateChange, and the sets DayOfWeek, Month, WeekOfMonth (combined with |).

Every object is frozen (change one with dataclasses.replace) and checked when it is made: a
value the task schema refuses raises ValueError naming the class and field; a value of the
wrong type TypeError. Durations are datetime.timedelta, moments datetime.datetime (naive:
local time; aware: written with their offset).
"""

from morvane.definition.actions import ComHandlerAction, ExecAction
from morvane.definition.enums import (
    DayOfWeek,
    LogonType,
    Month,
    MultipleInstancesPolicy,
    RunLevel,
    SessionStateChange,
    WeekOfMonth,
)
from morvane.definition.principal import Principal
from morvane.definition.registration_info import RegistrationInfo
from morvane.definition.settings import IdleSettings, NetworkSettings, RestartOnFailure, Settings
from morvane.definition.task_definition import TaskDefinition
from morvane.definition.triggers import (
    BootTrigger,
    DailyTrigger,
    EventTrigger,
    IdleTrigger,
    LogonTrigger,
    MonthlyDayOfWeekTrigger,
    MonthlyTrigger,
    RegistrationTrigger,
    Repetition,
    SessionStateChangeTrigger,
    TimeTrigger,
    Trigger,
    WeeklyTrigger,
)
from morvane.definition.unmodelled import Unmodelled, XmlFragment

__all__ = [
    "BootTrigger",
    "ComHandlerAction",
    "DailyTrigger",
    "DayOfWeek",
    "EventTrigger",
    "ExecAction",
    "IdleSettings",
    "IdleTrigger",
    "LogonTrigger",
    "LogonType",
    "Month",
    "MonthlyDayOfWeekTrigger",
    "MonthlyTrigger",
    "MultipleInstancesPolicy",
    "NetworkSettings",
    "Principal",
    "RegistrationInfo",
    "RegistrationTrigger",
    "Repetition",
    "RestartOnFailure",
    "RunLevel",
    "SessionStateChange",
    "SessionStateChangeTrigger",
    "Settings",
    "TaskDefinition",
    "TimeTrigger",
    "Trigger",
    "Unmodelled",
    "WeekOfMonth",
    "WeeklyTrigger",
    "XmlFragment",
]
