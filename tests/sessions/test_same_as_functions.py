"""A Scheduler's methods answer as the module-level functions of the same names: the same
results, and the same exceptions (class, text, args and notes), binding errors included, whose
text differs only by the "Scheduler." the binder puts before the method's name."""

import datetime

import pytest

import morvane

from tasks.definitions import calendar_trigger, task_xml

START = datetime.datetime(2026, 3, 1, tzinfo=datetime.timezone(datetime.timedelta(hours=2)))
END = START + datetime.timedelta(days=3)
DAILY = task_xml(triggers=calendar_trigger("2026-01-01T08:00:00"))

CASES = [
    ("task_exists", ("Daily",), {}),
    ("task_exists", ("Missing\\Daily",), {}),
    ("task_exists", (), {"task_name": "Daily"}),
    ("task_exists", (), {}),
    ("task_exists", ("Daily", "extra"), {}),
    ("task_exists", (b"Daily",), {}),
    ("task_exists", ("Dai\0ly",), {}),
    ("task_exists", ("Daily",), {"task_name": "Daily"}),
    ("run_task", ("Daily",), {}),
    ("run_task", ("Missing",), {}),
    ("delete_task", ("Daily",), {}),
    ("delete_task", ("Missing",), {}),
    ("register_xml", ("Other", DAILY), {}),
    ("register_xml", ("Other", "<Task"), {}),
    ("register_xml", ("Other",), {}),
    ("register_xml", ("Other", None), {}),
    ("list_tasks", (), {}),
    ("list_tasks", ("\\",), {"recursive": True, "hidden": True}),
    ("list_tasks", ("\\Nowhere",), {}),
    ("list_tasks", (), {"recursive": 1}),
    ("list_tasks", (), {"deep": True}),
    ("task_info", ("Daily",), {}),
    ("task_info", ("Missing",), {}),
    ("task_xml", ("Daily",), {}),
    ("task_xml", ("Missing",), {}),
    ("enable_task", ("Daily",), {}),
    ("disable_task", ("Daily",), {}),
    ("disable_task", ("Missing",), {}),
    ("stop_task", ("Daily",), {}),
    ("run_times", ("Daily", START, END), {"max_count": 2}),
    ("run_times", ("Daily", START, END), {}),
    ("run_times", ("Daily", END, START), {}),
    ("run_times", ("Daily", START, END.replace(tzinfo=None)), {}),
    ("run_times", ("Daily", START, END), {"max_count": 0}),
    ("run_times", ("Missing", START, END), {}),
]


def registered():
    return [(info.path, info.enabled) for info in morvane.list_tasks(recursive=True, hidden=True)]


def outcome(call, name):
    """What a call answered and the tasks it left, or what it raised, with the method's prefix
    taken out of the text."""
    try:
        return "returned", call(), registered()
    except Exception as error:  # noqa: BLE001 - any exception is compared
        text = str(error).replace(f"Scheduler.{name}(", f"{name}(")
        args = tuple(arg.replace(f"Scheduler.{name}(", f"{name}(") if isinstance(arg, str) else arg
                     for arg in error.args)
        return "raised", type(error), text, args, getattr(error, "__notes__", None)


@pytest.mark.parametrize(("name", "args", "kwargs"), CASES, ids=lambda value: repr(value)[:40])
def test_a_method_answers_as_its_function(name, args, kwargs):
    morvane.register_xml("Daily", DAILY)
    expected = outcome(lambda: getattr(morvane, name)(*args, **kwargs), name)
    with morvane.Scheduler() as scheduler:
        morvane.register_xml("Daily", DAILY)  # as it was before the function's call
        assert outcome(lambda: getattr(scheduler, name)(*args, **kwargs), name) == expected


def test_binding_errors_name_the_method():
    with morvane.Scheduler() as scheduler, pytest.raises(TypeError) as raised:
        scheduler.task_exists()
    assert str(raised.value) == "Scheduler.task_exists() missing 1 required positional argument: 'task_name'"


def test_opening_fails_as_a_call_would():
    morvane.emulator.fail_next("Connect", 0x80070005)
    expected = outcome(lambda: morvane.task_exists("Daily"), "")
    morvane.emulator.fail_next("Connect", 0x80070005)
    assert outcome(morvane.Scheduler, "") == expected
    assert expected[1] is morvane.TaskPermissionError
