"""Values are checked when a model is made, as the service checks them: at each bound of the
schema, the value inside is accepted by the model and by the service, the value outside is
refused by both (the model with a ValueError naming the class and field)."""

import datetime
import re

import pytest

import morvane
from morvane import definition as d

START = datetime.datetime(2026, 1, 1, 2, 0)
DAY = datetime.timedelta(days=1)
MINUTE = datetime.timedelta(minutes=1)
SECOND = datetime.timedelta(seconds=1)
GUID = "{6F9619FF-8B86-D011-B42D-00C04FC964FF}"


def task(trigger=None, action=None, settings=None):
    return d.TaskDefinition(
        triggers=(trigger,) if trigger else (),
        actions=(action or d.ExecAction("/bin/true"),),
        settings=settings or d.Settings(),
    )


def offset(minutes):
    return datetime.timezone(datetime.timedelta(minutes=minutes))


# (field the refusal names, model of a value, value inside, value outside, inside's text, outside's text)
BOUNDS = [
    ("DailyTrigger.days_interval", lambda v: task(d.DailyTrigger(start_boundary=START, days_interval=v)),
     365, 366, "<DaysInterval>365<", "<DaysInterval>366<"),
    ("DailyTrigger.days_interval", lambda v: task(d.DailyTrigger(start_boundary=START, days_interval=v)),
     1, 0, "<DaysInterval>1<", "<DaysInterval>0<"),
    ("WeeklyTrigger.weeks_interval",
     lambda v: task(d.WeeklyTrigger(start_boundary=START, days_of_week=d.DayOfWeek.MONDAY, weeks_interval=v)),
     52, 53, "<WeeksInterval>52<", "<WeeksInterval>53<"),
    ("MonthlyTrigger.days_of_month", lambda v: task(d.MonthlyTrigger(start_boundary=START, days_of_month={v})),
     31, 32, "<Day>31<", "<Day>32<"),
    ("Settings.priority", lambda v: task(settings=d.Settings(priority=v)), 10, 11, "<Priority>10<", "<Priority>11<"),
    ("RestartOnFailure.count",
     lambda v: task(settings=d.Settings(restart_on_failure=d.RestartOnFailure(interval=MINUTE, count=v))),
     1, 0, "<Count>1<", "<Count>0<"),
    ("RestartOnFailure.interval",
     lambda v: task(settings=d.Settings(restart_on_failure=d.RestartOnFailure(interval=v, count=3))),
     31 * DAY, 31 * DAY + SECOND, "<Interval>P31D<", "<Interval>PT744H1S<"),
    ("Repetition.interval",
     lambda v: task(d.TimeTrigger(start_boundary=START, repetition=d.Repetition(interval=v))),
     MINUTE, MINUTE - SECOND, "<Interval>PT1M<", "<Interval>PT59S<"),
    ("Repetition.duration",
     lambda v: task(d.BootTrigger(repetition=d.Repetition(interval=MINUTE, duration=v))),
     MINUTE, SECOND, "<Duration>PT1M<", "<Duration>PT1S<"),
    ("IdleSettings.wait_timeout", lambda v: task(settings=d.Settings(idle_settings=d.IdleSettings(wait_timeout=v))),
     MINUTE, MINUTE - SECOND, "<WaitTimeout>PT1M<", "<WaitTimeout>PT59S<"),
    ("Settings.execution_time_limit", lambda v: task(settings=d.Settings(execution_time_limit=v)),
     datetime.timedelta(0), -SECOND, "<ExecutionTimeLimit>PT0S<", "<ExecutionTimeLimit>-PT1S<"),
    ("EventTrigger.number_of_occurrences",
     lambda v: task(d.EventTrigger(subscription="<QueryList/>", number_of_occurrences=v)),
     32, 33, "<NumberOfOccurrences>32<", "<NumberOfOccurrences>33<"),
    ("EventTrigger.subscription", lambda v: task(d.EventTrigger(subscription=v)),
     " q ", " \n ", "<Subscription> q <", "<Subscription> \n <"),
    ("ExecAction.command", lambda v: task(action=d.ExecAction(v)),
     "x" * 260, "x" * 261, "<Command>" + "x" * 260 + "<", "<Command>" + "x" * 261 + "<"),
    ("ExecAction.working_directory", lambda v: task(action=d.ExecAction("/bin/true", working_directory=v)),
     "/", "  ", "<WorkingDirectory>/<", "<WorkingDirectory>  <"),
    ("ComHandlerAction.class_id", lambda v: task(action=d.ComHandlerAction(v)),
     GUID, GUID[1:-1], f"<ClassId>{GUID}<", f"<ClassId>{GUID[1:-1]}<"),
    ("TimeTrigger.start_boundary", lambda v: task(d.TimeTrigger(start_boundary=START.replace(tzinfo=v))),
     offset(-14 * 60), offset(-14 * 60 - 1), "T02:00:00-14:00<", "T02:00:00-14:01<"),
]


@pytest.mark.parametrize("field, make, inside, outside, inside_text, outside_text", BOUNDS,
                         ids=[f"{row[0]}={row[3]!r}"[:60] for row in BOUNDS])
def test_each_bound_is_where_the_service_puts_it(field, make, inside, outside, inside_text, outside_text):
    accepted = make(inside).to_xml()
    morvane.register_xml("Bound", accepted)
    assert inside_text in accepted
    with pytest.raises(ValueError, match=f"^{re.escape(field)}: "):
        make(outside)
    with pytest.raises(morvane.TaskSchedulerError) as refusal:
        morvane.register_xml("Bound", accepted.replace(inside_text, outside_text))
    assert refusal.value.hresult == 0x80041318  # SCHED_E_INVALIDVALUE


@pytest.mark.parametrize(
    "make, error, message",
    [
        (lambda: d.TaskDefinition(actions=()), ValueError, r"TaskDefinition.actions: a task needs at least one action"),
        (lambda: d.TaskDefinition(actions=[d.ExecAction("a")] * 33), ValueError, r"TaskDefinition.actions: at most 32"),
        (lambda: d.TaskDefinition(actions=[d.ExecAction("a")], triggers=[d.BootTrigger()] * 49), ValueError,
         r"TaskDefinition.triggers: at most 48"),
        (lambda: d.TaskDefinition(actions=["notepad.exe"]), TypeError, r"TaskDefinition.actions\[0\]: must be"),
        (lambda: d.TaskDefinition(actions=[d.ExecAction("a", id="x")], triggers=[d.BootTrigger(id="x")]),
         ValueError, r"TaskDefinition.actions\[0\].id: 'x' is the id of another item"),
        (lambda: d.TaskDefinition(actions=[d.ExecAction("a")], actions_context="Author"), ValueError,
         r"TaskDefinition.actions_context: 'Author' is not the id of the principal"),
        (lambda: d.TimeTrigger(), TypeError, r"TimeTrigger.start_boundary: must be a datetime"),
        (lambda: d.Trigger(), TypeError, r"make a TimeTrigger"),
        (lambda: d.WeeklyTrigger(start_boundary=START, days_of_week=2), TypeError,
         r"WeeklyTrigger.days_of_week: must be a DayOfWeek"),
        (lambda: d.Settings(priority=True), TypeError, r"Settings.priority: must be an int"),
        (lambda: d.Settings(multiple_instances="Queue"), TypeError, r"Settings.multiple_instances: must be"),
        (lambda: d.RegistrationInfo(description="bell \x07"), ValueError,
         r"RegistrationInfo.description: holds a character that XML cannot hold"),
        (lambda: d.EventTrigger(subscription="q", value_queries=[("n", "v")] * 33), ValueError,
         r"EventTrigger.value_queries: at most 32"),
    ],
)
def test_what_the_schema_refuses_is_refused_when_made(make, error, message):
    with pytest.raises(error, match=message):
        make()


def test_sequences_given_as_lists_and_dicts_are_kept_as_tuples():
    trigger = d.EventTrigger(subscription="q", value_queries={"id": "Event/System/EventID"})
    model = d.TaskDefinition(actions=[d.ExecAction("a")], triggers=[trigger])
    assert model.actions == (d.ExecAction("a"),) and trigger.value_queries == (("id", "Event/System/EventID"),)
    assert d.MonthlyTrigger(start_boundary=START, days_of_month=[1, 15]).days_of_month == frozenset({1, 15})
    hash(model)  # frozen all the way down


TASK = '<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">{}<Actions>{}</Actions></Task>'
EXEC = "<Exec><Command>/bin/true</Command></Exec>"


@pytest.mark.parametrize(
    "text, message",
    [
        ("<Task", "not well-formed XML"),
        ('<!DOCTYPE Task [<!ENTITY a "aaaa">]>' + TASK.format("", EXEC), "document type declaration"),
        ('<?xml version="1.0"?>\n<!-- made by hand -->\n<!DOCTYPE Task>' + TASK.format("", EXEC),
         "document type declaration"),
        ("<Task><Actions>" + EXEC + "</Actions></Task>", "the root element must be Task in the namespace"),
        (TASK.format("", "<Exec/>"), "missing 1 required positional argument: 'command'"),
        (TASK.format("<Triggers><TimeTrigger/></Triggers>", EXEC), "TimeTrigger.start_boundary: must be"),
        (TASK.format("<Triggers><CalendarTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary>"
                     "</CalendarTrigger></Triggers>", EXEC), "a calendar trigger needs a ScheduleByDay"),
        (TASK.format("<Settings><Enabled>maybe</Enabled></Settings>", EXEC), "Settings/Enabled: not a boolean"),
        (TASK.format("<Settings><Priority>11</Priority></Settings>", EXEC), "Settings.priority: must be between"),
        (TASK.format("", "<ShowMessage><Title>t</Title><Body>b</Body></ShowMessage>"),
         r"actions\[0\]: the ShowMessage action is deprecated"),
    ],
)
def test_texts_that_are_no_definition_the_model_holds_are_refused_with_value_error(text, message):
    with pytest.raises(ValueError, match=message):
        d.TaskDefinition.from_xml(text)
