"""Writes a TaskDefinition as the XML that Windows' own export writes.

The declaration names UTF-16 (the service takes the text as UTF-16 and refuses a declaration of
another encoding); the root is Task in the task namespace with its schema version; elements are
indented by two spaces and an empty one is written ``<Monday />``, as the export writes them.
The order is the export's: RegistrationInfo, Triggers, Principals, Settings, Actions; in a
trigger the common elements (Repetition, boundaries, time limit, Enabled) come before those of
its kind, which follow the schema's sequence; Settings writes the elements the export always
writes and the optional ones that are set. Kept nodes the model does not hold are written after
the modelled element they followed (see unmodelled.py).
"""

from __future__ import annotations

import datetime
from collections.abc import Callable
from typing import Any

from morvane.definition.actions import ComHandlerAction, ExecAction
from morvane.definition.enums import DayOfWeek, Month, WeekOfMonth
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
from morvane.definition.values import format_bool, format_duration, format_moment
from morvane.definition.xml_text import TASK_NAMESPACE, attributes_text, escape_attribute, escape_text

__all__ = ["task_xml"]

DECLARATION = '<?xml version="1.0" encoding="UTF-16"?>\n'

# A written child: the local name that kept nodes are anchored to, and its XML.
Child = tuple[str, str]


def task_xml(task: TaskDefinition) -> str:
    out = [DECLARATION]
    children: list[Child] = []
    indent = "  "
    registration = _registration_info(task.registration_info, indent)
    if registration:
        children.append(("RegistrationInfo", registration))
    triggers = [(f"Triggers/{n}", _trigger(t, indent * 2)) for n, t in enumerate(task.triggers, 1)]
    unmodelled = task.unmodelled
    if triggers or _holds(unmodelled, "Triggers/"):
        children.append(("Triggers", _container("Triggers", "", triggers, unmodelled, indent)))
    if task.principal is not None:
        principal = [("Principals/1", _principal(task.principal, indent * 2))]
        children.append(("Principals", _container("Principals", "", principal, unmodelled, indent)))
    children.append(("Settings", _settings(task.settings, indent)))
    actions = [(f"Actions/{n}", _action(a, indent * 2)) for n, a in enumerate(task.actions, 1)]
    context = f' Context="{escape_attribute(task.actions_context)}"' if task.actions_context is not None else ""
    children.append(("Actions", _container("Actions", context, actions, unmodelled, indent)))
    attributes = f' version="{escape_attribute(task.schema_version)}" xmlns="{TASK_NAMESPACE}"'
    out.append(_element("Task", attributes, children, unmodelled, ""))
    return "".join(out)


def _holds(unmodelled: Unmodelled | None, prefix: str) -> bool:
    return unmodelled is not None and any(anchor.startswith(prefix) for anchor, _ in unmodelled.nodes)


def _element(name: str, attributes: str, children: list[Child], unmodelled: Unmodelled | None, indent: str,
             start: str = "") -> str:
    """An element holding children, with the kept nodes anchored in it (start: the anchor of
    those before the first child)."""
    if unmodelled is not None and unmodelled.attributes:
        attributes += attributes_text(unmodelled.attributes)
    nodes = unmodelled.nodes if unmodelled is not None else ()
    if start and nodes:
        nodes = tuple(node for node in nodes if node[0].startswith(start.partition("/")[0] + "/"))
    elif nodes:
        nodes = tuple(node for node in nodes if "/" not in node[0])
    if not children and not nodes:
        return f"{indent}<{name}{attributes} />\n"
    if not nodes:
        return f"{indent}<{name}{attributes}>\n{''.join([chunk for _, chunk in children])}{indent}</{name}>\n"
    return f"{indent}<{name}{attributes}>\n{_woven(children, nodes, indent + '  ', start)}{indent}</{name}>\n"


def _woven(children: list[Child], nodes: tuple[tuple[str, XmlFragment], ...], indent: str, start: str) -> str:
    """The children with each kept node after the child it followed; a node whose child is not
    written any more goes last, in the order read."""
    after: dict[str, list[XmlFragment]] = {}
    for anchor, node in nodes:
        after.setdefault(anchor, []).append(node)
    out: list[str] = []
    for node in after.pop(start, ()):
        node.write(out, indent)
    for name, chunk in children:
        out.append(chunk)
        for node in after.pop(name, ()):
            node.write(out, indent)
    for left in after.values():
        for node in left:
            node.write(out, indent)
    return "".join(out)


def _container(name: str, attributes: str, items: list[Child], unmodelled: Unmodelled | None, indent: str) -> str:
    """Triggers, Principals or Actions: the items, with the kept nodes among them (anchored
    "Triggers/2": after the second trigger)."""
    holder = None
    if unmodelled is not None and _holds(unmodelled, name + "/"):
        holder = Unmodelled(nodes=tuple(n for n in unmodelled.nodes if n[0].startswith(name + "/")))
    return _element(name, attributes, items, holder, indent, start=f"{name}/0")


def _leaf(name: str, text: str, indent: str) -> Child:
    return name, f"{indent}<{name}>{escape_text(text)}</{name}>\n"


def _optional_leaf(children: list[Child], name: str, text: str | None, indent: str) -> None:
    if text is not None:
        children.append(_leaf(name, text, indent))


def _id(record: Trigger | ExecAction | ComHandlerAction | Principal) -> str:
    return f' id="{escape_attribute(record.id)}"' if record.id is not None else ""


# ---- registration info and principal ----------------------------------------------------------


def _registration_info(info: RegistrationInfo, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    if info.date is not None:
        children.append(_leaf("Date", format_moment(info.date), inner))
    _optional_leaf(children, "Source", info.source, inner)
    _optional_leaf(children, "Author", info.author, inner)
    _optional_leaf(children, "Version", info.version, inner)
    _optional_leaf(children, "Description", info.description, inner)
    _optional_leaf(children, "Documentation", info.documentation, inner)
    _optional_leaf(children, "URI", info.uri, inner)
    _optional_leaf(children, "SecurityDescriptor", info.security_descriptor, inner)
    if not children and not info.unmodelled:
        return ""
    return _element("RegistrationInfo", "", children, info.unmodelled, indent)


def _principal(principal: Principal, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    _optional_leaf(children, "UserId", principal.user_id, inner)
    if principal.logon_type is not None:
        children.append(_leaf("LogonType", principal.logon_type.value, inner))
    _optional_leaf(children, "GroupId", principal.group_id, inner)
    _optional_leaf(children, "DisplayName", principal.display_name, inner)
    if principal.run_level is not None:
        children.append(_leaf("RunLevel", principal.run_level.value, inner))
    return _element("Principal", _id(principal), children, principal.unmodelled, indent)


# ---- settings -----------------------------------------------------------------------------------


def _settings(settings: Settings, indent: str) -> str:
    inner = indent + "  "
    children = [
        _leaf("MultipleInstancesPolicy", settings.multiple_instances.value, inner),
        _leaf("DisallowStartIfOnBatteries", format_bool(settings.disallow_start_if_on_batteries), inner),
        _leaf("StopIfGoingOnBatteries", format_bool(settings.stop_if_going_on_batteries), inner),
        _leaf("AllowHardTerminate", format_bool(settings.allow_hard_terminate), inner),
        _leaf("StartWhenAvailable", format_bool(settings.start_when_available), inner),
        _leaf("RunOnlyIfNetworkAvailable", format_bool(settings.run_only_if_network_available), inner),
    ]
    if settings.network_settings is not None:
        children.append(("NetworkSettings", _network_settings(settings.network_settings, inner)))
    children += [
        ("IdleSettings", _idle_settings(settings.idle_settings, inner)),
        _leaf("AllowStartOnDemand", format_bool(settings.allow_start_on_demand), inner),
        _leaf("Enabled", format_bool(settings.enabled), inner),
        _leaf("Hidden", format_bool(settings.hidden), inner),
        _leaf("RunOnlyIfIdle", format_bool(settings.run_only_if_idle), inner),
        _leaf("WakeToRun", format_bool(settings.wake_to_run), inner),
        _leaf("ExecutionTimeLimit", _time_limit(settings.execution_time_limit), inner),
    ]
    if settings.delete_expired_task_after is not None:
        children.append(_leaf("DeleteExpiredTaskAfter", format_duration(settings.delete_expired_task_after), inner))
    children.append(_leaf("Priority", str(settings.priority), inner))
    if settings.restart_on_failure is not None:
        children.append(("RestartOnFailure", _restart_on_failure(settings.restart_on_failure, inner)))
    return _element("Settings", "", children, settings.unmodelled, indent)


_DEFAULT_LIMIT = Settings().execution_time_limit


def _time_limit(limit: datetime.timedelta) -> str:
    # The export writes the default limit of three days in hours.
    return "PT72H" if limit == _DEFAULT_LIMIT else format_duration(limit)


_DEFAULT_IDLE = IdleSettings()


def _idle_settings(idle: IdleSettings, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    # The export leaves out the idle duration and timeout Windows no longer uses, at their defaults.
    if idle.duration != _DEFAULT_IDLE.duration:
        children.append(_leaf("Duration", format_duration(idle.duration), inner))
    if idle.wait_timeout != _DEFAULT_IDLE.wait_timeout:
        children.append(_leaf("WaitTimeout", format_duration(idle.wait_timeout), inner))
    children.append(_leaf("StopOnIdleEnd", format_bool(idle.stop_on_idle_end), inner))
    children.append(_leaf("RestartOnIdle", format_bool(idle.restart_on_idle), inner))
    return _element("IdleSettings", "", children, idle.unmodelled, indent)


def _network_settings(network: NetworkSettings, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    _optional_leaf(children, "Name", network.name, inner)
    _optional_leaf(children, "Id", network.id, inner)
    return _element("NetworkSettings", "", children, network.unmodelled, indent)


def _restart_on_failure(restart: RestartOnFailure, indent: str) -> str:
    inner = indent + "  "
    children = [_leaf("Interval", format_duration(restart.interval), inner), _leaf("Count", str(restart.count), inner)]
    return _element("RestartOnFailure", "", children, restart.unmodelled, indent)


# ---- triggers -------------------------------------------------------------------------------


def _trigger(trigger: Trigger, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    if trigger.repetition is not None:
        children.append(("Repetition", _repetition(trigger.repetition, inner)))
    if trigger.start_boundary is not None:
        children.append(_leaf("StartBoundary", format_moment(trigger.start_boundary), inner))
    if trigger.end_boundary is not None:
        children.append(_leaf("EndBoundary", format_moment(trigger.end_boundary), inner))
    if trigger.execution_time_limit is not None:
        children.append(_leaf("ExecutionTimeLimit", format_duration(trigger.execution_time_limit), inner))
    children.append(_leaf("Enabled", format_bool(trigger.enabled), inner))
    name = _KIND_WRITERS[type(trigger)](trigger, children, inner)
    return _element(name, _id(trigger), children, trigger.unmodelled, indent)


def _repetition(repetition: Repetition, indent: str) -> str:
    inner = indent + "  "
    children = [_leaf("Interval", format_duration(repetition.interval), inner)]
    if repetition.duration is not None:
        children.append(_leaf("Duration", format_duration(repetition.duration), inner))
    children.append(_leaf("StopAtDurationEnd", format_bool(repetition.stop_at_duration_end), inner))
    return _element("Repetition", "", children, repetition.unmodelled, indent)


def _optional_duration(children: list[Child], name: str, value: object, indent: str) -> None:
    if value is not None:
        children.append(_leaf(name, format_duration(value), indent))  # type: ignore[arg-type]


def _time(trigger: TimeTrigger, children: list[Child], indent: str) -> str:
    _optional_duration(children, "RandomDelay", trigger.random_delay, indent)
    return "TimeTrigger"


def _set_element(name: str, flags: int, names: tuple[tuple[int, str], ...], indent: str) -> str:
    """DaysOfWeek, Months: one empty element for each member of the set."""
    inner = indent + "  "
    members = "".join(f"{inner}<{member} />\n" for bit, member in names if flags & bit)
    return f"{indent}<{name}>\n{members}{indent}</{name}>\n" if members else f"{indent}<{name} />\n"


_DAY_NAMES = tuple((day.value, str(day.name).title()) for day in (
    DayOfWeek.MONDAY, DayOfWeek.TUESDAY, DayOfWeek.WEDNESDAY, DayOfWeek.THURSDAY, DayOfWeek.FRIDAY,
    DayOfWeek.SATURDAY, DayOfWeek.SUNDAY))
_MONTH_NAMES = tuple((month.value, str(month.name).title()) for month in Month if month is not Month.ALL)
_WEEK_NUMBERS = ((WeekOfMonth.FIRST.value, "1"), (WeekOfMonth.SECOND.value, "2"), (WeekOfMonth.THIRD.value, "3"),
                 (WeekOfMonth.FOURTH.value, "4"), (WeekOfMonth.LAST.value, "Last"))


def _calendar(name: str, trigger: DailyTrigger | WeeklyTrigger | MonthlyTrigger | MonthlyDayOfWeekTrigger,
              schedule: list[str], children: list[Child], indent: str) -> str:
    _optional_duration(children, "RandomDelay", trigger.random_delay, indent)
    children.append((name, f"{indent}<{name}>\n{''.join(schedule)}{indent}</{name}>\n"))
    return "CalendarTrigger"


def _daily(trigger: DailyTrigger, children: list[Child], indent: str) -> str:
    inner = indent + "  "
    schedule = [_leaf("DaysInterval", str(trigger.days_interval), inner)[1]]
    return _calendar("ScheduleByDay", trigger, schedule, children, indent)


def _weekly(trigger: WeeklyTrigger, children: list[Child], indent: str) -> str:
    inner = indent + "  "
    schedule = [_set_element("DaysOfWeek", trigger.days_of_week.value, _DAY_NAMES, inner),
                _leaf("WeeksInterval", str(trigger.weeks_interval), inner)[1]]
    return _calendar("ScheduleByWeek", trigger, schedule, children, indent)


def _months(months: Month, inner: str) -> list[str]:
    return [] if months is Month.ALL else [_set_element("Months", months.value, _MONTH_NAMES, inner)]


def _monthly(trigger: MonthlyTrigger, children: list[Child], indent: str) -> str:
    inner = indent + "  "
    days = [f"{inner}  <Day>{day}</Day>\n" for day in sorted(trigger.days_of_month)]
    if trigger.last_day_of_month:
        days.append(f"{inner}  <Day>Last</Day>\n")
    days_element = f"{inner}<DaysOfMonth>\n{''.join(days)}{inner}</DaysOfMonth>\n" if days else f"{inner}<DaysOfMonth />\n"
    return _calendar("ScheduleByMonth", trigger, [days_element, *_months(trigger.months, inner)], children, indent)


def _monthly_day_of_week(trigger: MonthlyDayOfWeekTrigger, children: list[Child], indent: str) -> str:
    inner = indent + "  "
    schedule = []
    if trigger.weeks is not WeekOfMonth.ALL:
        weeks = "".join(f"{inner}  <Week>{number}</Week>\n" for bit, number in _WEEK_NUMBERS if trigger.weeks.value & bit)
        schedule.append(f"{inner}<Weeks>\n{weeks}{inner}</Weeks>\n" if weeks else f"{inner}<Weeks />\n")
    schedule.append(_set_element("DaysOfWeek", trigger.days_of_week.value, _DAY_NAMES, inner))
    schedule += _months(trigger.months, inner)
    return _calendar("ScheduleByMonthDayOfWeek", trigger, schedule, children, indent)


def _boot(trigger: BootTrigger, children: list[Child], indent: str) -> str:
    _optional_duration(children, "Delay", trigger.delay, indent)
    return "BootTrigger"


def _registration(trigger: RegistrationTrigger, children: list[Child], indent: str) -> str:
    _optional_duration(children, "Delay", trigger.delay, indent)
    return "RegistrationTrigger"


def _idle(trigger: IdleTrigger, children: list[Child], indent: str) -> str:
    return "IdleTrigger"


def _logon(trigger: LogonTrigger, children: list[Child], indent: str) -> str:
    _optional_leaf(children, "UserId", trigger.user_id, indent)
    _optional_duration(children, "Delay", trigger.delay, indent)
    return "LogonTrigger"


def _session(trigger: SessionStateChangeTrigger, children: list[Child], indent: str) -> str:
    _optional_leaf(children, "UserId", trigger.user_id, indent)
    _optional_duration(children, "Delay", trigger.delay, indent)
    children.append(_leaf("StateChange", trigger.state_change.value, indent))
    return "SessionStateChangeTrigger"


def _event(trigger: EventTrigger, children: list[Child], indent: str) -> str:
    children.append(_leaf("Subscription", trigger.subscription, indent))
    _optional_duration(children, "Delay", trigger.delay, indent)
    _optional_duration(children, "PeriodOfOccurrence", trigger.period_of_occurrence, indent)
    if trigger.number_of_occurrences is not None:
        children.append(_leaf("NumberOfOccurrences", str(trigger.number_of_occurrences), indent))
    _optional_leaf(children, "MatchingElement", trigger.matching_element, indent)
    if trigger.value_queries:
        inner = indent + "  "
        values = "".join(
            f'{inner}<Value name="{escape_attribute(name)}">{escape_text(query)}</Value>\n'
            for name, query in trigger.value_queries
        )
        children.append(("ValueQueries", f"{indent}<ValueQueries>\n{values}{indent}</ValueQueries>\n"))
    return "EventTrigger"


_KIND_WRITERS: dict[type, Callable[[Any, list[Child], str], str]] = {
    TimeTrigger: _time,
    DailyTrigger: _daily,
    WeeklyTrigger: _weekly,
    MonthlyTrigger: _monthly,
    MonthlyDayOfWeekTrigger: _monthly_day_of_week,
    BootTrigger: _boot,
    RegistrationTrigger: _registration,
    IdleTrigger: _idle,
    LogonTrigger: _logon,
    SessionStateChangeTrigger: _session,
    EventTrigger: _event,
}


# ---- actions --------------------------------------------------------------------------------


def _action(action: ExecAction | ComHandlerAction, indent: str) -> str:
    inner = indent + "  "
    children: list[Child] = []
    if type(action) is ExecAction:
        children.append(_leaf("Command", action.command, inner))
        _optional_leaf(children, "Arguments", action.arguments, inner)
        _optional_leaf(children, "WorkingDirectory", action.working_directory, inner)
        return _element("Exec", _id(action), children, action.unmodelled, indent)
    assert type(action) is ComHandlerAction
    children.append(_leaf("ClassId", action.class_id, inner))
    _optional_leaf(children, "Data", action.data, inner)
    return _element("ComHandler", _id(action), children, action.unmodelled, indent)
