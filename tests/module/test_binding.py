"""How every operation takes its arguments, as a module function and as a Scheduler method: the
TypeErrors of malformed calls in the order CPython's own binders check them, the conversion of
texts, flags, times and counts with a note naming the parameter, and that nothing of a refused
call reaches the scheduler. The method's messages differ only by the "Scheduler." before its name."""

import contextlib
import datetime
import sys

import pytest

import morvane
from morvane import emulator

from operations import OPERATIONS

from .task_xml import TASK_XML

NOW = datetime.datetime(2026, 1, 5, 12, 0, tzinfo=datetime.timezone.utc)
NAIVE = datetime.datetime(2026, 1, 5, 12, 0)
NAIVE_MESSAGE = "{} is a naive datetime: pass an aware one (with a tzinfo), such as datetime.now().astimezone()"


class Text(str):
    """A str subclass: accepted, and its own content is used."""


class BadStr(str):
    """A str subclass whose str() fails, as a keyword name."""

    def __str__(self):
        raise RuntimeError("no text for you")


class Outer:
    class Inner:
        """Named in messages by its qualified name, without its module."""


class WritesInt:
    def to_xml(self):
        return 5


class WritesNothing:
    def to_xml(self):
        raise LookupError("no definition")


class NoOffset(datetime.tzinfo):
    """A tzinfo that gives no offset: the time is naive."""

    def utcoffset(self, moment):
        return None


def note(parameter):
    return [f"while processing '{parameter}'"]


def quoted(names):
    names = [f"'{name}'" for name in names]
    return " and ".join(names) if len(names) <= 2 else ", ".join(names[:-1]) + ", and " + names[-1]


def every_operations_cases(operation):
    """The refusals every operation has, worked out from its signature: the binder's (too many,
    unexpected, repeated and missing arguments) and its first parameter's, a text."""
    positional = [p for p in operation.parameters if p.kind is p.POSITIONAL_OR_KEYWORD]
    required = [p.name for p in positional if p.default is p.empty]
    first = positional[0].name
    args, kwargs = operation.arguments("Daily")
    extra = ("x",) * (len(positional) + 1)
    takes = len(positional) if len(required) == len(positional) else f"from {len(required)} to {len(positional)}"
    cases = [
        ("too many", extra, {}, TypeError, f"{{}}() takes {takes} positional arguments but {len(extra)} were given",
         None),
        ("unexpected keyword", args, {**kwargs, "bogus": 1}, TypeError,
         "{}() got an unexpected keyword argument 'bogus'", None),
        ("multiple values", ("x",) * max(len(required), 1), {first: "x"}, TypeError,
         f"{{}}() got multiple values for argument '{first}'", None),
        ("not a str", (5, *args[1:]), kwargs, TypeError, "'int' object is not an instance of 'str'", note(first)),
        # the service reads a name only up to its first NUL: such a name would act on another task
        ("NUL", ("a\0b", *args[1:]), kwargs, ValueError, "embedded null character", note(first)),
    ]
    if required:  # every absent required parameter, quoted and joined
        s = "s" if len(required) > 1 else ""
        cases.append(("missing", (), {}, TypeError,
                      f"{{}}() missing {len(required)} required positional argument{s}: {quoted(required)}", None))
    return [(operation.name, *case) for case in cases]


# (operation, what, args, kwargs, error, message with {} for the function's name, notes)
PARTICULAR_CASES = [
    ("register_xml", "missing the second", ("a",), {}, TypeError,
     "{}() missing 1 required positional argument: 'xml_data'", None),
    ("register_xml", "missing the first", (), {"xml_data": "x"}, TypeError,
     "{}() missing 1 required positional argument: 'task_name'", None),
    ("run_times", "missing the last", ("a", NOW), {}, TypeError,
     "{}() missing 1 required positional argument: 'end'", None),
    # too many positionals is checked before any keyword; an unexpected keyword before "missing"
    ("run_task", "too many before keywords", ("a", "b"), {"bogus": 1}, TypeError,
     "{}() takes 1 positional arguments but 2 were given", None),
    ("run_task", "unexpected before missing", (), {"bogus": 1}, TypeError,
     "{}() got an unexpected keyword argument 'bogus'", None),
    # keywords match exactly, case included; the first offender in call order is named
    ("run_task", "case-sensitive keyword", (), {"Task_Name": "a"}, TypeError,
     "{}() got an unexpected keyword argument 'Task_Name'", None),
    ("list_tasks", "case-sensitive keyword-only", (), {"Recursive": True}, TypeError,
     "{}() got an unexpected keyword argument 'Recursive'", None),
    ("register_xml", "first offender", ("a",), {"bogus": 1, "task_name": "b"}, TypeError,
     "{}() got an unexpected keyword argument 'bogus'", None),
    ("register_xml", "multiple values after a good keyword", ("a",), {"xml_data": "x", "task_name": "b"}, TypeError,
     "{}() got multiple values for argument 'task_name'", None),
    ("run_task", "surrogate keyword", (), {"\ud800x": 1}, TypeError,
     "{}() got an unexpected keyword argument '\ufffd\ufffd\ufffdx'", None),
    ("run_task", "str subclass keyword", (), {Text("nope"): 1}, TypeError,
     "{}() got an unexpected keyword argument 'nope'", None),
    # texts
    ("run_task", "None", (None,), {}, TypeError, "'None' is not an instance of 'str'", note("task_name")),
    ("run_task", "bytes", (b"a",), {}, TypeError, "'bytes' object is not an instance of 'str'", note("task_name")),
    ("task_exists", "list by keyword", (), {"task_name": []}, TypeError, "'list' object is not an instance of 'str'",
     note("task_name")),
    ("run_task", "qualified type name", (Outer.Inner(),), {}, TypeError,
     "'Outer.Inner' object is not an instance of 'str'", note("task_name")),
    ("run_task", "lone surrogate", ("\ud800",), {}, UnicodeEncodeError,
     "'utf-8' codec can't encode character '\\ud800' in position 0: surrogates not allowed", note("task_name")),
    ("task_exists", "NUL in a str subclass", (Text("x\0"),), {}, ValueError, "embedded null character",
     note("task_name")),
    # parameters are converted, and refused, in their order
    ("register_xml", "task_name first", (1, 2), {}, TypeError, "'int' object is not an instance of 'str'",
     note("task_name")),
    ("register_xml", "NUL before xml_data", ("a\0b", 2), {}, ValueError, "embedded null character", note("task_name")),
    ("register_xml", "xml_data", ("a", 2), {}, TypeError, "'int' object is not an instance of 'str'",
     note("xml_data")),
    ("register_xml", "xml_data None", (), {"xml_data": None, "task_name": "a"}, TypeError,
     "'None' is not an instance of 'str'", note("xml_data")),
    ("run_times", "task_name before start", (1, "x", NOW), {}, TypeError, "'int' object is not an instance of 'str'",
     note("task_name")),
    # definitions: a str, or what an object's to_xml() gives, called before anything is registered
    ("register_task", "definition without to_xml", ("a", 5), {}, TypeError,
     "'int' object is not a str and has no to_xml() method", note("definition")),
    ("register_task", "to_xml gives no str", ("a", WritesInt()), {}, TypeError,
     "WritesInt.to_xml() returned 'int', not a str", note("definition")),
    ("register_task", "to_xml raises", ("a", WritesNothing()), {}, LookupError, "no definition",
     note("definition")),
    ("register_task", "NUL before definition", ("a\0b", WritesNothing()), {}, ValueError, "embedded null character",
     note("task_name")),
    # modes: the three values, as RegisterMode members or ints
    ("register_task", "mode by position", ("a", "x", 6), {}, TypeError,
     "{}() takes 2 positional arguments but 3 were given", None),
    ("register_task", "str mode", ("a", "x"), {"mode": "CREATE"}, TypeError,
     "'str' object is not an instance of 'int'", note("mode")),
    *[("register_task", f"mode {value!r}", ("a", "x"), {"mode": value}, ValueError,
       f"mode must be RegisterMode.CREATE (2), UPDATE (4) or CREATE_OR_UPDATE (6), not {value!r}", note("mode"))
      for value in (0, 3, 1 | 6, True, 2**64 + 2, morvane.RegisterMode(1))],
    ("register_task", "definition before mode", ("a", 5), {"mode": 0}, TypeError,
     "'int' object is not a str and has no to_xml() method", note("definition")),
    # flags
    ("list_tasks", "int flag", (), {"recursive": 1}, TypeError, "'int' object is not an instance of 'bool'",
     note("recursive")),
    ("list_tasks", "None flag", (), {"recursive": True, "hidden": None}, TypeError,
     "'None' is not an instance of 'bool'", note("hidden")),
    # times: aware datetimes only
    ("run_times", "str start", ("a", "2026-01-05", NOW), {}, TypeError,
     "'str' object is not an instance of 'datetime'", note("start")),
    ("run_times", "date start", ("a", NOW.date(), NOW), {}, TypeError,
     "'date' object is not an instance of 'datetime'", note("start")),
    ("run_times", "naive start", ("a", NAIVE, NOW), {}, TypeError, NAIVE_MESSAGE.format("start"), note("start")),
    ("run_times", "naive end", ("a", NOW, NAIVE), {}, TypeError, NAIVE_MESSAGE.format("end"), note("end")),
    ("run_times", "tzinfo without offset", ("a", NAIVE.replace(tzinfo=NoOffset()), NOW), {}, TypeError,
     NAIVE_MESSAGE.format("start"), note("start")),
    # counts
    ("run_times", "str count", ("a", NOW, NOW), {"max_count": "1"}, TypeError,
     "'str' object is not an instance of 'int'", note("max_count")),
    ("run_times", "zero count", ("a", NOW, NOW), {"max_count": 0}, ValueError, "max_count must be at least 1",
     note("max_count")),
    ("run_times", "huge negative count", ("a", NOW, NOW), {"max_count": -2**70}, ValueError,
     "max_count must be at least 1", note("max_count")),
    # the period: compared as instants, whatever the zones
    ("run_times", "end before start", ("a", NOW, NOW - datetime.timedelta(seconds=1)), {}, ValueError,
     "end is before start", None),
    ("run_times", "end before start in another zone",
     ("a", NOW, NOW.astimezone(datetime.timezone(datetime.timedelta(hours=5))) - datetime.timedelta(microseconds=1)),
     {}, ValueError, "end is before start", None),
]

CASES = [case for operation in OPERATIONS for case in every_operations_cases(operation)] + PARTICULAR_CASES


@contextlib.contextmanager
def platform_calls():
    """The platform calls made inside the block (none known where Windows' own service answers)."""
    if sys.platform == "win32":
        yield []
        return
    with emulator.journal() as records:
        yield records


def outcome(call):
    with pytest.raises(BaseException) as raised:
        call()
    return type(raised.value), str(raised.value), getattr(raised.value, "__notes__", None)


@pytest.mark.parametrize("name, what, args, kwargs, error, message, notes", CASES,
                         ids=[f"{case[0]}-{case[1]}" for case in CASES])
def test_malformed_calls_are_refused_before_the_scheduler(runner, name, what, args, kwargs, error, message, notes):
    target, display = runner
    with platform_calls() as records:
        refusal = outcome(lambda: getattr(target, name)(*args, **kwargs))
    assert refusal == (error, message.format(display.format(name)), notes)
    assert records == []


def test_a_keyword_whose_str_fails_is_named_by_its_type_and_reported_as_unraisable(runner, monkeypatch):
    target, display = runner
    seen = []
    monkeypatch.setattr("sys.unraisablehook", seen.append)
    assert outcome(lambda: target.run_task(**{BadStr("nope"): 1})) == (
        TypeError, f"{display.format('run_task')}() got an unexpected keyword argument '<unprintable BadStr object>'",
        None)
    assert [(type(hook.exc_value), str(hook.exc_value)) for hook in seen] == [(RuntimeError, "no text for you")]


@pytest.mark.parametrize(
    "call",
    [
        lambda target, name, xml: target.register_xml(name, xml),
        lambda target, name, xml: target.register_xml(task_name=name, xml_data=xml),
        lambda target, name, xml: target.register_xml(xml_data=xml, task_name=name),
        lambda target, name, xml: target.register_xml(name, xml_data=xml),
        lambda target, name, xml: target.register_xml(Text(name), Text(xml)),
    ],
)
def test_every_way_of_passing_arguments_binds_the_same(runner, call):
    target, _ = runner
    call(target, "Bound", TASK_XML)
    assert target.task_exists("Bound") is True
    assert target.task_exists(task_name=Text("bound")) is True  # names match case-insensitively


@pytest.mark.parametrize("name", ["Zürich", "任务", "emoji \U0001F600", "a" * 200])
def test_non_ascii_and_long_names_reach_the_service_whole(name):
    morvane.register_xml(name, TASK_XML)
    assert morvane.task_exists(name) is True
    assert morvane.task_exists(name[:-1] + "_") is False

