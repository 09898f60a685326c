"""A definition's RegistrationInfo/SecurityDescriptor at registration: the task's descriptor when the
registration names none, superseded by RegisterTask's sddl argument, read as that argument is read,
and kept in the definition as written."""

import dataclasses
import tempfile

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import morvane
from morvane import TaskPermissionError, TaskSchedulerError, emulator
from morvane.definition import TaskDefinition

from operations import DAILY

# Written as a user might write it; the service keeps its canonical form.
DEFINITION = "O:BAD:(A;;0x1f01ff;;;S-1-5-32-544)(A;;FR;;;AU)"
DEFINITION_KEPT = "O:BAD:(A;;FA;;;BA)(A;;FR;;;AU)"
ARGUMENT = "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)"
EARLIER = "O:BAD:(A;;FA;;;BA)(A;;FA;;;BU)"
UNREADABLE = "D:(A;;FA;;;"


def with_descriptor(sddl):
    """DAILY with RegistrationInfo/SecurityDescriptor holding `sddl` (none: DAILY itself)."""
    if sddl is None:
        return DAILY
    head, _, rest = DAILY.partition(">")
    return f"{head}><RegistrationInfo><SecurityDescriptor>{sddl}</SecurityDescriptor></RegistrationInfo>{rest}"


def default_descriptor(sddl):
    return sddl.startswith("O:BA") and "(A;;FA;;;BA)(A;;FA;;;SY)" in sddl


DEFINITIONS = {"absent": None, "present": DEFINITION, "unreadable": UNREADABLE}
ARGUMENTS = {"absent": None, "present": ARGUMENT}
# (definition's, argument) -> the descriptor the task has afterwards, per way of registering:
# "default" and "earlier" (what a new task gets, what the task had), or "refused" (the
# registration changes nothing).
EXPECTED = {
    ("absent", "absent"): {"create": "default", "update": "earlier"},
    ("absent", "present"): {"create": ARGUMENT, "update": ARGUMENT},
    ("present", "absent"): {"create": DEFINITION_KEPT, "update": DEFINITION_KEPT},
    ("present", "present"): {"create": ARGUMENT, "update": ARGUMENT},
    ("unreadable", "absent"): {"create": "refused", "update": "refused"},
    ("unreadable", "present"): {"create": "refused", "update": "refused"},
}


@pytest.mark.parametrize(("definition", "argument", "way"),
                         [(*case, way) for case in EXPECTED for way in ("create", "update")])
def test_which_descriptor_a_registration_gives_the_task(definition, argument, way):
    if way == "update":
        morvane.register_xml("T", DAILY)
        morvane.set_task_security("T", EARLIER)
    xml = with_descriptor(DEFINITIONS[definition])
    expected = EXPECTED[definition, argument][way]
    if expected == "refused":
        # Refused as the same text given as the argument is, with the same code.
        with pytest.raises(TaskSchedulerError) as as_argument:
            morvane.register_task("Other", DAILY, security=UNREADABLE)
        with pytest.raises(TaskSchedulerError) as refused:
            morvane.register_task("T", xml, security=ARGUMENTS[argument])
        assert refused.value.hresult == as_argument.value.hresult
        assert refused.value.hresult & 0xFFFF0000 == 0x80070000 and not isinstance(refused.value, TaskPermissionError)
        if way == "update":
            assert morvane.task_security("T") == EARLIER
        else:
            assert not morvane.task_exists("T")
        return
    morvane.register_task("T", xml, security=ARGUMENTS[argument])
    applied = morvane.task_security("T")
    if expected == "default":
        assert default_descriptor(applied), applied
    else:
        assert applied == {"earlier": EARLIER}.get(expected, expected)
    # The definition is kept as it was written, its descriptor's text too.
    assert morvane.task_definition("T").registration_info.security_descriptor == DEFINITIONS[definition]


@pytest.mark.emulator
@pytest.mark.parametrize("given_as", ["argument", "definition"])
def test_a_descriptor_in_the_definition_follows_the_arguments_rules(given_as):
    # A user who is no administrator may give the task away (SYSTEM's, granting the user nothing),
    # and then may no longer touch it; an administrator still may.
    theirs = "O:SYD:(A;;FA;;;SY)(A;;FA;;;BA)"
    emulator.set_caller("alice", administrator=False)
    if given_as == "argument":
        morvane.register_task("T", DAILY, security=theirs)
    else:
        morvane.register_xml("T", with_descriptor(theirs))
    with pytest.raises(TaskPermissionError):
        morvane.task_info("T")
    # Nor may a definition's descriptor win back a task the caller may not change.
    with pytest.raises(TaskPermissionError):
        morvane.register_xml("T", with_descriptor("O:BAD:(A;;FA;;;WD)"))
    emulator.set_caller("root-admin", administrator=True)
    assert morvane.task_security("T") == theirs


def test_the_definition_model_carries_the_descriptor_to_the_service():
    read = TaskDefinition.from_xml(DAILY)
    definition = dataclasses.replace(
        read, registration_info=dataclasses.replace(read.registration_info, security_descriptor=DEFINITION))
    morvane.register_task("T", definition)
    assert morvane.task_security("T") == DEFINITION_KEPT
    assert morvane.task_definition("T").registration_info.security_descriptor == DEFINITION


# From the documentation alone: a descriptor supplied at registration supersedes the definition's;
# a registration that names neither leaves an existing task's descriptor as it was (a new one gets
# the default).
def model_after(registrations):
    kept = "default"
    for definition, argument in registrations:
        kept = argument or definition or kept
    return kept


DESCRIPTOR_TEXTS = st.sampled_from([None, "O:BAD:(A;;FA;;;BA)", "O:BAD:(A;;FA;;;BA)(A;;FR;;;BU)",
                                    "O:BAD:(A;;FA;;;BA)(A;;FA;;;SY)"])


@pytest.mark.emulator
@settings(max_examples=30, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(st.lists(st.tuples(DESCRIPTOR_TEXTS, DESCRIPTOR_TEXTS), min_size=1, max_size=4))
def test_registrations_in_turn_leave_what_the_model_says(tmp_path, registrations):
    emulator.set_task_library(tempfile.mkdtemp(dir=tmp_path))
    for definition, argument in registrations:
        morvane.register_task("T", with_descriptor(definition), security=argument)
    expected = model_after(registrations)
    applied = morvane.task_security("T")
    assert default_descriptor(applied) if expected == "default" else applied == expected
