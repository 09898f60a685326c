"""Reads a TaskDefinition from the XML of a task definition, keeping what the model does not hold.

Each modelled element is read by a table of its children (local name -> field, reader); a child
that is not in the table, a comment or a processing instruction is kept as an XmlFragment
anchored to the modelled child before it, and so are attributes the model has no field for.
Values are read as the service reads them (blanks around a value that is not text ignored,
booleans as true/false/1/0); a value the model refuses raises its ValueError.
"""

from __future__ import annotations

import xml.etree.ElementTree as ElementTree
from collections.abc import Callable
from typing import Any

from morvane.definition.actions import DEPRECATED_ACTIONS, ComHandlerAction, ExecAction
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
from morvane.definition.values import parse_bool, parse_duration, parse_integer, parse_moment
from morvane.definition.xml_text import TASK_NAMESPACE

__all__ = ["read_task"]

_NS = "{" + TASK_NAMESPACE + "}"
_BLANKS = " \t\r\n"

Reader = Callable[[ElementTree.Element], Any]
Fields = dict[str, tuple[str, Reader]]


class _Kept(Exception):
    """A text element carrying attributes or elements: kept whole rather than read as text."""


def _declares_document_type(text: str) -> bool:
    """Whether the prolog (before the root element) holds a document type declaration, which the
    service prohibits: it would bring entities, which the service never expands."""
    at = 0
    while True:
        while at < len(text) and text[at] in " \t\r\n":
            at += 1
        if text.startswith("<?", at):
            closing = "?>"
        elif text.startswith("<!--", at):
            closing = "-->"
        else:
            return text.startswith("<!DOCTYPE", at)
        end = text.find(closing, at)
        if end < 0:
            return False  # the parser refuses the broken prolog
        at = end + len(closing)


class _Refused(ValueError):
    """A refusal that already says where it is."""


def read_task(text: str) -> TaskDefinition:
    if not isinstance(text, str):
        raise TypeError(f"TaskDefinition.from_xml: the definition must be a str, not {type(text).__name__}")
    text = text.removeprefix("\ufeff")
    if _declares_document_type(text):
        raise ValueError("TaskDefinition.from_xml: a document type declaration is prohibited in a task definition")
    parser = ElementTree.XMLParser(target=ElementTree.TreeBuilder(insert_comments=True, insert_pis=True))
    try:
        parser.feed(text)
        root = parser.close()
    except ElementTree.ParseError as error:
        raise ValueError(f"TaskDefinition.from_xml: not well-formed XML: {error}") from None
    if root.tag != _NS + "Task":
        raise ValueError(f"TaskDefinition.from_xml: the root element must be Task in the namespace {TASK_NAMESPACE}, "
                         f"not {root.tag}")
    try:
        return _task(root)
    except TypeError as error:  # a required element missing, a value of no use: the text's fault
        raise ValueError(f"TaskDefinition.from_xml: {error}") from None


def _task(root: ElementTree.Element) -> TaskDefinition:
    values, unmodelled = _read(root, _TASK_FIELDS, "Task", {"version"})
    nodes = list(unmodelled.nodes) if unmodelled else []
    for container in ("Triggers", "Principals", "Actions"):
        values.pop(container, None)
    values["triggers"], trigger_nodes = _items(root, "Triggers", _read_trigger)
    principals, principal_nodes = _items(root, "Principals", _read_principal)
    values["actions"], action_nodes = _items(root, "Actions", _read_action)
    if principals:
        values["principal"] = principals[0]
    actions = root.find(_NS + "Actions")
    if actions is not None and "Context" in actions.attrib:
        values["actions_context"] = actions.attrib["Context"]
    if "version" in root.attrib:
        values["schema_version"] = root.attrib["version"]
    nodes += trigger_nodes + principal_nodes + action_nodes
    attributes = unmodelled.attributes if unmodelled else ()
    if nodes or attributes:
        values["unmodelled"] = Unmodelled(tuple(nodes), attributes)
    return TaskDefinition(**values)


def _read(element: ElementTree.Element, fields: Fields, path: str, attributes: set[str] | frozenset[str] = frozenset()
          ) -> tuple[dict[str, Any], Unmodelled | None]:
    """The fields read from element's children, and what it holds that the table does not name."""
    values: dict[str, Any] = {}
    nodes: list[tuple[str, XmlFragment]] = []
    anchor = ""
    for child in element:
        tag = child.tag
        if type(tag) is str and tag.startswith(_NS):
            local = tag[len(_NS):]
            known = fields.get(local)
            if known is not None:
                field, reader = known
                try:
                    values[field] = reader(child)
                except _Kept:
                    nodes.append((anchor, XmlFragment.of(child)))
                    continue
                except _Refused:
                    raise
                except ValueError as error:
                    raise _Refused(f"{path}/{local}: {error}") from None
                anchor = local
                continue
        nodes.append((anchor, XmlFragment.of(child)))
    extra = tuple((name, value) for name, value in element.attrib.items() if name not in attributes)
    return values, (Unmodelled(tuple(nodes), extra) if nodes or extra else None)


def _record(kind: type, fields: Fields, path: str, attributes: frozenset[str] = frozenset()) -> Reader:
    def read(element: ElementTree.Element) -> Any:
        values, unmodelled = _read(element, fields, path, attributes)
        if "id" in attributes and "id" in element.attrib:
            values["id"] = element.attrib["id"]
        return kind(**values, unmodelled=unmodelled)

    return read


def _items(root: ElementTree.Element, name: str, read: Callable[[ElementTree.Element, int], Any]
           ) -> tuple[tuple[Any, ...], list[tuple[str, XmlFragment]]]:
    """The items of a container (Triggers, Principals, Actions) and the nodes kept among them,
    anchored "Triggers/2" after the second."""
    container = root.find(_NS + name)
    if container is None:
        return (), []
    items: list[Any] = []
    nodes: list[tuple[str, XmlFragment]] = []
    for child in container:
        if type(child.tag) is str and child.tag.startswith(_NS):
            items.append(read(child, len(items)))
        else:
            nodes.append((f"{name}/{len(items)}", XmlFragment.of(child)))
    return tuple(items), nodes


# ---- values ---------------------------------------------------------------------------------


def _text(element: ElementTree.Element) -> str:
    """The text of an element that a field may leave out: one carrying attributes (xml:lang) or
    elements is kept whole instead, and written back as it was."""
    if len(element) or element.attrib:
        raise _Kept
    return element.text or ""


def _required_text(element: ElementTree.Element) -> str:
    """The text of an element a record cannot do without (Command, ClassId, Subscription); its
    attributes, XML's own, are not kept."""
    return element.text or ""


def _value(parse: Callable[[str], Any]) -> Reader:
    return lambda element: parse(element.text or "")


def _enum(kind: type) -> Reader:
    def read(element: ElementTree.Element) -> Any:
        word = (element.text or "").strip(_BLANKS)
        try:
            return kind(word)
        except ValueError:
            raise ValueError(f"not a {kind.__name__}: {word!r}") from None

    return read


_bool, _duration, _moment, _integer = _value(parse_bool), _value(parse_duration), _value(parse_moment), _value(parse_integer)


def _members(kind: type, names: dict[str, Any]) -> Reader:
    """DaysOfWeek, Months: the set of the members named by the empty elements it holds."""

    def read(element: ElementTree.Element) -> Any:
        flags = kind(0)
        for child in element:
            if type(child.tag) is str and child.tag.startswith(_NS):
                local = child.tag[len(_NS):]
                if local not in names:
                    raise ValueError(f"not a member of {element.tag[len(_NS):]}: {local}")
                flags |= names[local]
        return flags

    return read


# The single days and months (not the ALL and WEEKDAYS sets), by element name.
_DAYS = {str(day.name).title(): day for day in DayOfWeek if day.value & (day.value - 1) == 0}
_MONTHS = {str(month.name).title(): month for month in Month if month.value & (month.value - 1) == 0}
_WEEKS = {"1": WeekOfMonth.FIRST, "2": WeekOfMonth.SECOND, "3": WeekOfMonth.THIRD, "4": WeekOfMonth.FOURTH,
          "Last": WeekOfMonth.LAST}


def _numbered(element: ElementTree.Element, child_name: str) -> list[str]:
    return [(child.text or "").strip(_BLANKS) for child in element if child.tag == _NS + child_name]


# ---- the tables -------------------------------------------------------------------------------

_REGISTRATION_FIELDS: Fields = {
    "Author": ("author", _text), "Description": ("description", _text), "URI": ("uri", _text),
    "Date": ("date", _moment), "Source": ("source", _text), "Documentation": ("documentation", _text),
    "Version": ("version", _text), "SecurityDescriptor": ("security_descriptor", _text),
}

_read_principal_record = _record(Principal, {
    "UserId": ("user_id", _text), "GroupId": ("group_id", _text), "LogonType": ("logon_type", _enum(LogonType)),
    "RunLevel": ("run_level", _enum(RunLevel)), "DisplayName": ("display_name", _text),
}, "Principal", frozenset({"id"}))


def _read_principal(element: ElementTree.Element, number: int) -> Principal:
    if element.tag != _NS + "Principal":
        raise ValueError(f"Principals: an unexpected element {element.tag[len(_NS):]}")
    principal: Principal = _read_principal_record(element)
    return principal


_SETTINGS_FIELDS: Fields = {
    "MultipleInstancesPolicy": ("multiple_instances", _enum(MultipleInstancesPolicy)),
    "DisallowStartIfOnBatteries": ("disallow_start_if_on_batteries", _bool),
    "StopIfGoingOnBatteries": ("stop_if_going_on_batteries", _bool),
    "AllowHardTerminate": ("allow_hard_terminate", _bool),
    "StartWhenAvailable": ("start_when_available", _bool),
    "RunOnlyIfNetworkAvailable": ("run_only_if_network_available", _bool),
    "NetworkSettings": ("network_settings", _record(NetworkSettings, {"Name": ("name", _text), "Id": ("id", _text)},
                                                    "NetworkSettings")),
    "IdleSettings": ("idle_settings", _record(IdleSettings, {
        "Duration": ("duration", _duration), "WaitTimeout": ("wait_timeout", _duration),
        "StopOnIdleEnd": ("stop_on_idle_end", _bool), "RestartOnIdle": ("restart_on_idle", _bool),
    }, "IdleSettings")),
    "AllowStartOnDemand": ("allow_start_on_demand", _bool),
    "Enabled": ("enabled", _bool),
    "Hidden": ("hidden", _bool),
    "RunOnlyIfIdle": ("run_only_if_idle", _bool),
    "WakeToRun": ("wake_to_run", _bool),
    "ExecutionTimeLimit": ("execution_time_limit", _duration),
    "DeleteExpiredTaskAfter": ("delete_expired_task_after", _duration),
    "Priority": ("priority", _integer),
    "RestartOnFailure": ("restart_on_failure", _record(RestartOnFailure, {
        "Interval": ("interval", _duration), "Count": ("count", _integer)}, "RestartOnFailure")),
}

_TASK_FIELDS: Fields = {
    "RegistrationInfo": ("registration_info", _record(RegistrationInfo, _REGISTRATION_FIELDS, "RegistrationInfo")),
    "Settings": ("settings", _record(Settings, _SETTINGS_FIELDS, "Settings")),
    # Read by _items; named here so that they are not kept as unmodelled.
    "Triggers": ("Triggers", lambda element: None),
    "Principals": ("Principals", lambda element: None),
    "Actions": ("Actions", lambda element: None),
}

# ---- triggers -------------------------------------------------------------------------------

_COMMON_FIELDS: Fields = {
    "Enabled": ("enabled", _bool), "StartBoundary": ("start_boundary", _moment),
    "EndBoundary": ("end_boundary", _moment),
    "Repetition": ("repetition", _record(Repetition, {
        "Interval": ("interval", _duration), "Duration": ("duration", _duration),
        "StopAtDurationEnd": ("stop_at_duration_end", _bool)}, "Repetition")),
    "ExecutionTimeLimit": ("execution_time_limit", _duration),
}


def _daily(element: ElementTree.Element) -> tuple[type, dict[str, Any]]:
    values = {}
    for child in element:
        if child.tag == _NS + "DaysInterval":
            values["days_interval"] = parse_integer(child.text or "")
    return DailyTrigger, values


def _weekly(element: ElementTree.Element) -> tuple[type, dict[str, Any]]:
    values: dict[str, Any] = {}
    for child in element:
        if child.tag == _NS + "WeeksInterval":
            values["weeks_interval"] = parse_integer(child.text or "")
        elif child.tag == _NS + "DaysOfWeek":
            values["days_of_week"] = _members(DayOfWeek, _DAYS)(child)
    return WeeklyTrigger, values


def _monthly(element: ElementTree.Element) -> tuple[type, dict[str, Any]]:
    values: dict[str, Any] = {}
    for child in element:
        if child.tag == _NS + "DaysOfMonth":
            days = _numbered(child, "Day")
            values["last_day_of_month"] = "Last" in days
            values["days_of_month"] = frozenset(int(day) for day in days if day != "Last")
        elif child.tag == _NS + "Months":
            values["months"] = _members(Month, _MONTHS)(child)
    return MonthlyTrigger, values


def _monthly_day_of_week(element: ElementTree.Element) -> tuple[type, dict[str, Any]]:
    values: dict[str, Any] = {}
    for child in element:
        if child.tag == _NS + "Weeks":
            weeks = WeekOfMonth(0)
            for week in _numbered(child, "Week"):
                if week not in _WEEKS:
                    raise ValueError(f"not a week of the month: {week!r}")
                weeks |= _WEEKS[week]
            values["weeks"] = weeks
        elif child.tag == _NS + "DaysOfWeek":
            values["days_of_week"] = _members(DayOfWeek, _DAYS)(child)
        elif child.tag == _NS + "Months":
            values["months"] = _members(Month, _MONTHS)(child)
    return MonthlyDayOfWeekTrigger, values


def _value_queries(element: ElementTree.Element) -> tuple[tuple[str, str], ...]:
    return tuple((child.attrib.get("name", ""), child.text or "") for child in element if child.tag == _NS + "Value")


_DELAY: Fields = {"Delay": ("delay", _duration)}
_RANDOM_DELAY: Fields = {"RandomDelay": ("random_delay", _duration)}
_SCHEDULES: Fields = {
    "ScheduleByDay": ("schedule", _daily), "ScheduleByWeek": ("schedule", _weekly),
    "ScheduleByMonth": ("schedule", _monthly), "ScheduleByMonthDayOfWeek": ("schedule", _monthly_day_of_week),
}

_TRIGGER_FIELDS: dict[str, tuple[type | None, Fields]] = {
    "TimeTrigger": (TimeTrigger, {**_COMMON_FIELDS, **_RANDOM_DELAY}),
    "CalendarTrigger": (None, {**_COMMON_FIELDS, **_RANDOM_DELAY, **_SCHEDULES}),
    "BootTrigger": (BootTrigger, {**_COMMON_FIELDS, **_DELAY}),
    "RegistrationTrigger": (RegistrationTrigger, {**_COMMON_FIELDS, **_DELAY}),
    "IdleTrigger": (IdleTrigger, _COMMON_FIELDS),
    "LogonTrigger": (LogonTrigger, {**_COMMON_FIELDS, **_DELAY, "UserId": ("user_id", _text)}),
    "SessionStateChangeTrigger": (SessionStateChangeTrigger, {
        **_COMMON_FIELDS, **_DELAY, "UserId": ("user_id", _text),
        "StateChange": ("state_change", _enum(SessionStateChange))}),
    "EventTrigger": (EventTrigger, {
        **_COMMON_FIELDS, **_DELAY, "Subscription": ("subscription", _required_text),
        "PeriodOfOccurrence": ("period_of_occurrence", _duration),
        "NumberOfOccurrences": ("number_of_occurrences", _integer),
        "MatchingElement": ("matching_element", _text), "ValueQueries": ("value_queries", _value_queries)}),
}


def _read_trigger(element: ElementTree.Element, number: int) -> Trigger:
    local = element.tag[len(_NS):]
    path = f"Triggers/{local}[{number + 1}]"
    if local not in _TRIGGER_FIELDS:
        raise ValueError(f"{path}: not a kind of trigger")
    kind, fields = _TRIGGER_FIELDS[local]
    values, unmodelled = _read(element, fields, path, frozenset({"id"}))
    if "id" in element.attrib:
        values["id"] = element.attrib["id"]
    if kind is None:
        if "schedule" not in values:
            raise ValueError(f"{path}: a calendar trigger needs a ScheduleByDay, ScheduleByWeek, ScheduleByMonth "
                             "or ScheduleByMonthDayOfWeek")
        kind, schedule = values.pop("schedule")
        values.update(schedule)
    trigger: Trigger = kind(**values, unmodelled=unmodelled)
    return trigger


# ---- actions --------------------------------------------------------------------------------

_read_exec = _record(ExecAction, {
    "Command": ("command", _required_text), "Arguments": ("arguments", _text),
    "WorkingDirectory": ("working_directory", _text)}, "Exec", frozenset({"id"}))
_read_com_handler = _record(ComHandlerAction, {"ClassId": ("class_id", _required_text), "Data": ("data", _text)},
                            "ComHandler", frozenset({"id"}))


def _read_action(element: ElementTree.Element, number: int) -> ExecAction | ComHandlerAction:
    local = element.tag[len(_NS):]
    if local == "Exec":
        exec_action: ExecAction = _read_exec(element)
        return exec_action
    if local == "ComHandler":
        handler: ComHandlerAction = _read_com_handler(element)
        return handler
    if local in DEPRECATED_ACTIONS:
        raise ValueError(
            f"TaskDefinition.actions[{number}]: the {local} action is deprecated and refused, as Windows refuses "
            f"it in tasks of the current schema; {DEPRECATED_ACTIONS[local]}"
        )
    raise ValueError(f"TaskDefinition.actions[{number}]: {local} is not a kind of action")
