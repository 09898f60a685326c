"""How the four functions take their arguments: the TypeErrors of malformed calls, in the order
CPython's own binders check them, the conversion of task names and texts, and that nothing of a
refused call reaches the scheduler."""

import pytest

import morvane
from morvane import emulator

from .task_xml import TASK_XML

run_task, register_xml, task_exists = morvane.run_task, morvane.register_xml, morvane.task_exists


class Text(str):
    """A str subclass: accepted, and its own content is used."""


class BadStr(str):
    """A str subclass whose str() fails, as a keyword name."""

    def __str__(self):
        raise RuntimeError("no text for you")


def message_of(call):
    with pytest.raises(BaseException) as raised:
        call()
    return type(raised.value), str(raised.value), getattr(raised.value, "__notes__", None)


NO_NOTE = None
TASK_NAME_NOTE = ["while processing 'task_name'"]
XML_DATA_NOTE = ["while processing 'xml_data'"]


@pytest.mark.parametrize(
    "call, message",
    [
        # missing: every absent required parameter, quoted and joined
        (lambda: run_task(), "run_task() missing 1 required positional argument: 'task_name'"),
        (lambda: register_xml(),
         "register_xml() missing 2 required positional arguments: 'task_name' and 'xml_data'"),
        (lambda: register_xml("a"), "register_xml() missing 1 required positional argument: 'xml_data'"),
        (lambda: register_xml(xml_data="x"),
         "register_xml() missing 1 required positional argument: 'task_name'"),
        # too many: plural "arguments" even after 1, and checked before any keyword
        (lambda: run_task("a", "b"), "run_task() takes 1 positional arguments but 2 were given"),
        (lambda: register_xml("a", "b", "c"), "register_xml() takes 2 positional arguments but 3 were given"),
        (lambda: run_task("a", "b", bogus=1), "run_task() takes 1 positional arguments but 2 were given"),
        # unexpected keyword: before "missing", exact and case-sensitive, first offender in call order
        (lambda: run_task(bogus=1), "run_task() got an unexpected keyword argument 'bogus'"),
        (lambda: run_task(Task_Name="a"), "run_task() got an unexpected keyword argument 'Task_Name'"),
        (lambda: register_xml("a", bogus=1, task_name="b"),
         "register_xml() got an unexpected keyword argument 'bogus'"),
        (lambda: run_task(**{"\ud800x": 1}), "run_task() got an unexpected keyword argument '\ufffd\ufffd\ufffdx'"),
        (lambda: run_task(**{Text("nope"): 1}), "run_task() got an unexpected keyword argument 'nope'"),
        # multiple values: a keyword for a parameter that already has a value
        (lambda: run_task("a", task_name="b"), "run_task() got multiple values for argument 'task_name'"),
        (lambda: register_xml("a", xml_data="x", task_name="b"),
         "register_xml() got multiple values for argument 'task_name'"),
    ],
)
def test_malformed_calls_raise_type_errors_without_notes(call, message):
    assert message_of(call) == (TypeError, message, NO_NOTE)


def test_a_keyword_whose_str_fails_is_named_by_its_type_and_reported_as_unraisable(monkeypatch):
    seen = []
    monkeypatch.setattr("sys.unraisablehook", seen.append)
    assert message_of(lambda: run_task(**{BadStr("nope"): 1})) == (
        TypeError, "run_task() got an unexpected keyword argument '<unprintable BadStr object>'", NO_NOTE)
    assert [(type(hook.exc_value), str(hook.exc_value)) for hook in seen] == [(RuntimeError, "no text for you")]


@pytest.mark.parametrize(
    "call, expected",
    [
        (lambda: run_task(5), (TypeError, "'int' object is not an instance of 'str'", TASK_NAME_NOTE)),
        (lambda: run_task(None), (TypeError, "'None' is not an instance of 'str'", TASK_NAME_NOTE)),
        (lambda: run_task(b"a"), (TypeError, "'bytes' object is not an instance of 'str'", TASK_NAME_NOTE)),
        (lambda: task_exists(task_name=[]), (TypeError, "'list' object is not an instance of 'str'", TASK_NAME_NOTE)),
        (lambda: run_task("\ud800"),
         (UnicodeEncodeError, "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed",
          TASK_NAME_NOTE)),
        # task_name is converted, and refused, before xml_data is looked at
        (lambda: register_xml(1, 2), (TypeError, "'int' object is not an instance of 'str'", TASK_NAME_NOTE)),
        (lambda: register_xml("a\0b", 2), (ValueError, "embedded null character", TASK_NAME_NOTE)),
        (lambda: register_xml("a", 2), (TypeError, "'int' object is not an instance of 'str'", XML_DATA_NOTE)),
        (lambda: register_xml(xml_data=None, task_name="a"),
         (TypeError, "'None' is not an instance of 'str'", XML_DATA_NOTE)),
        # the service reads a name only up to its first NUL: such a name would act on another task
        (lambda: run_task("Backup\0old"), (ValueError, "embedded null character", TASK_NAME_NOTE)),
        (lambda: morvane.delete_task("\0"), (ValueError, "embedded null character", TASK_NAME_NOTE)),
        (lambda: task_exists(Text("x\0")), (ValueError, "embedded null character", TASK_NAME_NOTE)),
    ],
)
def test_bad_arguments_raise_with_one_note_naming_the_parameter(call, expected):
    assert message_of(call) == expected


def test_the_type_name_is_the_qualified_name_without_its_module():
    class Outer:
        class Inner:
            pass

    assert message_of(lambda: run_task(Outer.Inner()))[1] == (
        "'test_the_type_name_is_the_qualified_name_without_its_module.<locals>.Outer.Inner' object "
        "is not an instance of 'str'")


@pytest.mark.emulator
def test_refused_calls_reach_no_platform_call():
    calls = ("CoInitializeEx", "CoCreateInstance", "SysAllocStringLen", "GetTask", "RegisterTask")
    before = {call: emulator.call_count(call) for call in calls}
    for call in (lambda: run_task(), lambda: run_task(5), lambda: run_task("a\0"), lambda: register_xml("a", 1),
                 lambda: register_xml("a", "\ud800"), lambda: task_exists(bogus="a")):
        with pytest.raises((TypeError, ValueError)):
            call()
    assert {call: emulator.call_count(call) for call in calls} == before


@pytest.mark.parametrize(
    "call",
    [
        lambda name, xml: register_xml(name, xml),
        lambda name, xml: register_xml(task_name=name, xml_data=xml),
        lambda name, xml: register_xml(xml_data=xml, task_name=name),
        lambda name, xml: register_xml(name, xml_data=xml),
        lambda name, xml: register_xml(Text(name), Text(xml)),
    ],
)
def test_every_way_of_passing_arguments_binds_the_same(call):
    call("Bound", TASK_XML)
    assert task_exists("Bound") is True
    assert task_exists(task_name=Text("bound")) is True  # names match case-insensitively


@pytest.mark.parametrize("name", ["Zürich", "任务", "emoji \U0001F600", "a" * 200])
def test_non_ascii_and_long_names_reach_the_service_whole(name):
    register_xml(name, TASK_XML)
    assert task_exists(name) is True
    assert task_exists(name[:-1] + "_") is False
