"""A Scheduler's methods answer as the module-level functions of the same names: the same
results and tasks left behind, and the same exceptions (class, text, args and notes) for what the
service refuses. Their binding errors are tested with the functions' (module/test_binding.py)."""

import pytest

import morvane

from operations import DAILY, END, OPERATIONS, START


def registered():
    return [(info.path, info.enabled) for info in morvane.list_tasks(recursive=True, hidden=True)]


def comparable(value):
    """What two calls can answer alike: each start makes a new instance (its GUID, its process, and
    whether a second one starts while the first runs), of the same task."""
    if isinstance(value, list):
        return [comparable(item) for item in value]
    if isinstance(value, morvane.RunningTask):
        return "RunningTask", value.path, value.name
    return value


def outcome(call):
    """What a call answered and the tasks it left, or what it raised."""
    try:
        return "returned", comparable(call()), registered()
    except Exception as error:  # noqa: BLE001 - any exception is compared
        return "raised", type(error), str(error), error.args, getattr(error, "__notes__", None)


@pytest.mark.parametrize("task", ["Daily", "Missing\\Daily"], ids=["present", "missing"])
@pytest.mark.parametrize("operation", OPERATIONS, ids=lambda operation: operation.name)
def test_a_method_answers_as_its_function(operation, task):
    morvane.register_xml("Daily", DAILY)
    expected = outcome(lambda: operation.call(morvane, task))
    with morvane.Scheduler() as scheduler:
        morvane.register_xml("Daily", DAILY)  # as it was before the function's call
        assert outcome(lambda: operation.call(scheduler, task)) == expected


@pytest.mark.parametrize(("name", "args", "kwargs"), [
    ("register_xml", ("Other", "<Task"), {}),  # the service's refusal, with its position in the text
    ("list_tasks", ("\\",), {"recursive": True, "hidden": True}),
    ("run_times", ("Daily", START, END), {"max_count": 2}),
], ids=["refused definition", "hidden tasks", "run times counted"])
def test_a_method_answers_as_its_function_in_particular_calls(name, args, kwargs):
    morvane.register_xml("Daily", DAILY)
    expected = outcome(lambda: getattr(morvane, name)(*args, **kwargs))
    with morvane.Scheduler() as scheduler:
        morvane.register_xml("Daily", DAILY)
        assert outcome(lambda: getattr(scheduler, name)(*args, **kwargs)) == expected


def test_opening_fails_as_a_call_would():
    morvane.emulator.fail_next("Connect", 0x80070005)
    expected = outcome(lambda: morvane.task_exists("Daily"))
    morvane.emulator.fail_next("Connect", 0x80070005)
    assert outcome(morvane.Scheduler) == expected
    assert expected[1] is morvane.TaskPermissionError
