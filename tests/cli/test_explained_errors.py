"""A definition that the service refuses with a position only, raised from Python: the exception's
text stays the service's, a note says what the code means, for the function and the session's
method alike, and survives pickling once."""

import pickle

import pytest

import morvane

NAMESPACE = 'xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"'


@pytest.mark.parametrize(
    "xml, text, note",
    [
        ("<Task><Actions/></Task>", "RegisterTask failed: (1,7):Task: (0x80041317)",
         "0x80041317: the task definition holds an element or attribute from a namespace other than the task "
         "schema's"),
        (f"<Task {NAMESPACE}><Actions/></Task>", "RegisterTask failed: (1,78):Actions: (0x80041319)",
         "0x80041319: the task definition lacks a required element or attribute"),
    ],
)
def test_a_refused_definition_carries_what_its_code_means(xml, text, note):
    with morvane.Scheduler() as scheduler:
        for register in (morvane.register_xml, scheduler.register_xml):
            with pytest.raises(morvane.TaskSchedulerError) as raised:
                register("Refused", xml)
            assert (str(raised.value), raised.value.__notes__) == (text, [note])
            copy = pickle.loads(pickle.dumps(raised.value))
            assert (str(copy), copy.__notes__) == (text, [note])


def test_other_failures_get_no_note():
    with pytest.raises(morvane.TaskSchedulerError) as raised:
        morvane.run_task("Missing")
    assert not hasattr(raised.value, "__notes__")
    # A message that only looks like a position, from a code that is no refusal of a definition.
    assert not hasattr(morvane.TaskSchedulerError("(1,2):x", 0x80004005, "RunEx"), "__notes__")
