"""register_task's modes on a task that exists and on one that does not, with the definition given
as XML text, as an object that writes it, or as an object that cannot; and task_definition, which
hands the registered definition to morvane.definition's model."""

import sys
import types

import pytest
from hypothesis import given, settings, strategies as st

import morvane
from morvane import RegisterMode, TaskSchedulerError

from .definitions import NAMESPACE

ALREADY_EXISTS = 0x800700B7
FILE_NOT_FOUND = 0x80070002


def described(description):
    """A definition told apart by its description, which every service keeps as it was given."""
    return (f'<Task version="1.2" xmlns="{NAMESPACE}"><RegistrationInfo><Description>{description}'
            "</Description></RegistrationInfo><Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>")


class Model:
    """A task model as register_task sees one: anything with to_xml()."""

    def __init__(self, xml):
        self.xml = xml

    def to_xml(self):
        return self.xml


class NoXml:
    """Neither a str nor a model."""


FORMS = {
    "str": lambda xml: xml,
    "model": Model,
    "no to_xml": lambda xml: NoXml(),
}
# (mode, the task exists) -> the service's answer: None, registered; else the HRESULT it refuses with.
ANSWERS = {
    (RegisterMode.CREATE, False): None,
    (RegisterMode.CREATE, True): ALREADY_EXISTS,
    (RegisterMode.UPDATE, False): FILE_NOT_FOUND,
    (RegisterMode.UPDATE, True): None,
    (RegisterMode.CREATE_OR_UPDATE, False): None,
    (RegisterMode.CREATE_OR_UPDATE, True): None,
}
CASES = [(mode, exists, form) for (mode, exists) in ANSWERS for form in FORMS]
IDS = [f"{mode.name}-{'existing' if exists else 'missing'}-{form}" for mode, exists, form in CASES]


@pytest.mark.parametrize("mode, exists, form", CASES, ids=IDS)
def test_each_mode_on_an_existing_and_a_missing_task(runner, mode, exists, form):
    target, _ = runner
    if target.task_exists("Tools\\Nightly"):  # where one service keeps every test's tasks
        target.delete_task("Tools\\Nightly")
    if exists:
        target.register_xml("Tools\\Nightly", described("old"))
    definition = FORMS[form](described("new"))

    if form == "no to_xml":
        with pytest.raises(TypeError, match="'NoXml' object is not a str and has no to_xml"):
            target.register_task("Tools\\Nightly", definition, mode=mode)
        expected = "old" if exists else None
    elif ANSWERS[mode, exists] is None:
        assert target.register_task("Tools\\Nightly", definition, mode=mode) is None
        expected = "new"
    else:
        with pytest.raises(TaskSchedulerError) as raised:
            target.register_task("Tools\\Nightly", definition, mode=mode)
        assert (raised.value.operation, raised.value.hresult) == ("RegisterTask", ANSWERS[mode, exists])
        expected = "old" if exists else None

    # What the task holds afterwards: the new definition, the old one kept, or still no task.
    if expected is None:
        assert target.task_exists("Tools\\Nightly") is False
        if sys.platform != "win32":  # a refused update leaves no folder behind in the emulator's library
            assert target.list_tasks(recursive=True) == []
    else:
        assert f"<Description>{expected}</Description>" in target.task_xml("tools\\nightly")


def test_the_default_mode_creates_or_updates_and_plain_ints_are_modes():
    morvane.register_task("Plain", described("first"))
    morvane.register_task("Plain", described("second"))
    assert "second" in morvane.task_xml("Plain")
    with pytest.raises(TaskSchedulerError, match="0x800700B7"):
        morvane.register_task("Plain", described("third"), mode=2)
    morvane.register_task("Plain", described("fourth"), mode=4)
    assert "fourth" in morvane.task_xml("Plain")
    assert RegisterMode.CREATE | RegisterMode.UPDATE is RegisterMode.CREATE_OR_UPDATE


NAMES = ["Alpha", "alpha", "Deep\\Beta", "DEEP\\beta"]


@settings(max_examples=40, deadline=None)
@given(st.lists(st.tuples(st.sampled_from(NAMES), st.sampled_from([*RegisterMode, 2, 4, 6]), st.booleans()),
                max_size=12))
def test_registrations_answer_as_the_documented_flags_say(steps):
    """A sequence of registrations and deletions against a model of the documented TASK_CREATION
    rules: names match case-insensitively, CREATE refuses an existing task, UPDATE a missing one."""
    existing = set()
    with morvane.Scheduler() as scheduler:
        for name in NAMES[::2]:
            if scheduler.task_exists(name):
                scheduler.delete_task(name)
        for name, mode, delete in steps:
            key = name.casefold()
            if delete and key in existing:
                scheduler.delete_task(name)
                existing.discard(key)
                continue
            expected = (ALREADY_EXISTS if mode == RegisterMode.CREATE and key in existing else
                        FILE_NOT_FOUND if mode == RegisterMode.UPDATE and key not in existing else None)
            try:
                scheduler.register_task(name, described(name), mode=mode)
                answer = None
            except TaskSchedulerError as error:
                answer = error.hresult
            assert answer == expected, (name, mode, sorted(existing))
            if answer is None:
                existing.add(key)
        assert {name.casefold() for name in NAMES if scheduler.task_exists(name)} == existing


@pytest.fixture
def recorded_model(monkeypatch):
    """morvane.definition replaced by a module whose TaskDefinition.from_xml records its text."""
    received = []

    class TaskDefinition:
        @classmethod
        def from_xml(cls, text):
            received.append(text)
            return ("model of", text)

    module = types.ModuleType("morvane.definition")
    module.TaskDefinition = TaskDefinition
    monkeypatch.setitem(sys.modules, "morvane.definition", module)
    return received


def test_task_definition_is_the_model_of_what_task_xml_returns(runner, recorded_model):
    target, _ = runner
    target.register_task("Read", described("to read"))
    xml = target.task_xml("Read")
    assert target.task_definition("Read") == ("model of", xml)
    assert recorded_model == [xml]


def test_task_definition_failures_are_exceptions(monkeypatch, recorded_model):
    # A missing task: task_xml's failure (Wine's service answers another code than Windows' for some
    # missing tasks: the same from both is what counts), before any model is made.
    failures = []
    for read in (morvane.task_xml, morvane.task_definition):
        with pytest.raises(TaskSchedulerError) as raised:
            read("Missing")
        failures.append((raised.value.operation, raised.value.hresult, str(raised.value)))
    assert failures[0] == failures[1] and failures[0][0] == "GetTask"
    assert recorded_model == []

    morvane.register_xml("Read", described("to read"))
    monkeypatch.setitem(sys.modules, "morvane.definition", None)  # the import fails
    with pytest.raises(ModuleNotFoundError):
        morvane.task_definition("Read")
    monkeypatch.setitem(sys.modules, "morvane.definition", types.ModuleType("morvane.definition"))
    with pytest.raises(AttributeError, match="TaskDefinition"):
        morvane.task_definition("Read")
