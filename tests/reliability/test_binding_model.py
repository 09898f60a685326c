"""Arbitrary calls of the four functions against a model of their binding rules written here,
apart from the module: any positional and keyword arguments, str subclasses, surrogates, NUL
characters, long texts and keyword names that are not identifiers. Each refused call must raise
exactly the model's type, message and notes, and reach no platform call; each accepted one must
reach the scheduler once.

MORVANE_LONG_TESTS=1 runs 20,000 examples instead of a few hundred."""

import os

from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st
import pytest

import morvane
from morvane import TaskSchedulerError, emulator

from operations import SPECIFIED

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

EXAMPLES = 20_000 if os.environ.get("MORVANE_LONG_TESTS") else 300

PARAMETERS = {operation.name: tuple(p.name for p in operation.parameters) for operation in SPECIFIED}


class Text(str):
    """A str subclass, accepted as text and as a keyword name."""


class Odd:
    """An object whose type's qualified name holds a lone surrogate."""


Odd.__qualname__ = "Odd\udc80Name"


def rendered(text):
    """A text as the messages show it: each byte of a lone surrogate's UTF-8 as one U+FFFD."""
    return text.encode("utf-8", "surrogatepass").decode("utf-8", "replace")


def quoted_list(names):
    quoted = [f"'{name}'" for name in names]
    if len(quoted) <= 2:
        return " and ".join(quoted)
    return ", ".join(quoted[:-1]) + ", and " + quoted[-1]


def not_a_str(value):
    if value is None:
        return "'None' is not an instance of 'str'"
    return f"'{rendered(type(value).__qualname__)}' object is not an instance of 'str'"


def expected_refusal(function, args, kwargs):
    """(type, message, notes) of the refusal the model predicts, or None for a call that binds."""
    display, names = f"{function}()", PARAMETERS[function]
    if len(args) > len(names):
        verb = "was" if len(args) == 1 else "were"
        return TypeError, f"{display} takes {len(names)} positional arguments but {len(args)} {verb} given", None
    slots = dict(zip(names, args))
    for keyword, value in kwargs.items():
        try:
            keyword.encode("utf-8")
        except UnicodeEncodeError:
            return TypeError, f"{display} got an unexpected keyword argument '{rendered(keyword)}'", None
        if keyword not in names:  # compared as exact bytes: no case folding, no normalisation
            return TypeError, f"{display} got an unexpected keyword argument '{keyword}'", None
        if keyword in slots:
            return TypeError, f"{display} got multiple values for argument '{keyword}'", None
        slots[str(keyword)] = value
    missing = [name for name in names if name not in slots]
    if missing:
        count = len(missing)
        return (TypeError, f"{display} missing {count} required positional argument{'s' * (count > 1)}: "
                f"{quoted_list(missing)}", None)
    for name in names:
        value, note = slots[name], [f"while processing '{name}'"]
        if not isinstance(value, str):
            return TypeError, not_a_str(value), note
        try:
            str.encode(value, "utf-8")
        except UnicodeEncodeError as error:  # the interpreter's own text
            return UnicodeEncodeError, str(error), note
        if name == "task_name" and "\0" in value:
            return ValueError, "embedded null character", note
    return None


any_text = st.text(st.characters(exclude_categories=()), max_size=12)
names = st.one_of(st.sampled_from(["Probe", "Probe\\Sub", "probe", "", "a\0b", "\ud800", "x" * 10_000]), any_text)
values = st.one_of(
    names,
    names.map(Text),
    st.none(),
    st.integers(),
    st.binary(max_size=4),
    st.floats(allow_nan=False),
    st.lists(st.integers(), max_size=2),
    st.just(Odd()),
)
keywords = st.one_of(
    st.sampled_from(["task_name", "xml_data", "Task_Name", "task_name ", "bogus", "\ud800x"]),
    st.sampled_from(["task_name", "xml_data"]).map(Text),
    any_text,
)
calls = st.tuples(
    st.sampled_from(sorted(PARAMETERS)),
    st.lists(values, max_size=3),
    st.dictionaries(keywords, values, max_size=3),
)


@settings(max_examples=EXAMPLES, deadline=None, database=None,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.function_scoped_fixture])
@given(calls)
def test_each_call_binds_or_is_refused_as_the_model_says(call):
    function, args, kwargs = call
    expected = expected_refusal(function, args, kwargs)
    before = emulator.call_count("CoInitializeEx")
    try:
        getattr(morvane, function)(*args, **kwargs)
    except TaskSchedulerError:
        outcome = None  # bound, then refused by the service
    except Exception as error:
        outcome = type(error), str(error), getattr(error, "__notes__", None)
    else:
        outcome = None
    assert outcome == expected
    # A refused call reaches no platform call; an accepted one opens one connection.
    assert emulator.call_count("CoInitializeEx") - before == (expected is None)
