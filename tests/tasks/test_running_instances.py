"""Running instances: start_task with its parameters, running_tasks, and a RunningTask's refresh,
stop and wait on instances that run, wait in a queue, have ended, or were stopped by another."""

import re

import pytest
from hypothesis import HealthCheck, given, settings, strategies

import morvane
from morvane import RunningTask, TaskState, emulator

from .definitions import task_xml

TERMINATED = 0x00041306  # SCHED_S_TASK_TERMINATED
MISSING = "/nonexistent/morvane-test-program"  # never starts: its record keeps the argv all the same

pytestmark = pytest.mark.emulator


def sleeper(name, policy="Parallel", seconds=30):
    morvane.register_xml(name, task_xml("/bin/sleep", str(seconds),
                                        settings=f"<MultipleInstancesPolicy>{policy}</MultipleInstancesPolicy>"))


def running(target, name):
    """The instance of a task that runs."""
    sleeper(name)
    return target.start_task(name)


def queued(target, name):
    """The second instance of a task whose instances queue: it waits for the first."""
    sleeper(name, "Queue")
    target.start_task(name)
    return target.start_task(name)


def ended(target, name):
    """An instance that ran to its end, with exit code 3."""
    morvane.register_xml(name, task_xml("/bin/sh", "-c &quot;exit 3&quot;"))
    instance = target.start_task(name)
    emulator.wait_runs(name)
    return instance


def stopped_by_another(target, name):
    """An instance that the task's stop_task ended."""
    instance = running(target, name)
    morvane.stop_task(name)
    return instance


STATES = {"running": running, "queued": queued, "ended": ended, "stopped by another": stopped_by_another}

# (instance state, operation, expected): a TaskState for refresh's new snapshot (None: ended),
# stop's answer, wait's last result (TimeoutError: still running after 0.1 s).
CASES = [
    ("running", "refresh", TaskState.RUNNING),
    ("running", "stop", True),
    ("running", "wait", TimeoutError),
    ("queued", "refresh", TaskState.QUEUED),
    ("queued", "stop", True),
    ("queued", "wait", TimeoutError),
    ("ended", "refresh", None),
    ("ended", "stop", False),
    ("ended", "wait", 3),
    ("stopped by another", "refresh", None),
    ("stopped by another", "stop", False),
    ("stopped by another", "wait", TERMINATED),
]


@pytest.mark.parametrize("state, operation, expected", CASES, ids=[f"{s}-{o}" for s, o, _ in CASES])
def test_each_operation_on_each_state_of_an_instance(runner, state, operation, expected):
    target, _ = runner
    instance = STATES[state](target, "Job")
    assert isinstance(instance, RunningTask) and instance.path == "\\Job" and instance.name == "Job"
    if operation == "refresh":
        fresh = instance.refresh()
        assert (fresh and fresh.state) == expected
        if fresh:
            assert fresh.instance_guid == instance.instance_guid and fresh._origin is instance._origin
    elif operation == "stop":
        others = [i.instance_guid for i in morvane.running_tasks("Job") if i.instance_guid != instance.instance_guid]
        assert instance.stop() is expected
        assert instance.refresh() is None
        assert [other.instance_guid for other in morvane.running_tasks("Job")] == others, "only this one stops"
        if expected and state == "running":
            assert morvane.task_info("Job").last_task_result == TERMINATED
    elif expected is TimeoutError:
        with pytest.raises(TimeoutError, match=re.escape(instance.instance_guid)):
            instance.wait(timeout=0.1)
        assert instance.refresh() is not None, "a wait that times out leaves the instance running"
    else:
        assert instance.wait(timeout=10) == expected


def test_instances_are_listed_per_task_and_for_all(runner):
    target, _ = runner
    first = running(target, "A")
    second = target.start_task("A")
    hidden_xml = task_xml("/bin/sleep", "30", settings="<Hidden>true</Hidden>")
    morvane.register_xml("Folder\\Hush", hidden_xml)
    quiet = target.start_task("Folder\\Hush")
    assert [i.instance_guid for i in target.running_tasks("A")] == [first.instance_guid, second.instance_guid]
    assert [i.path for i in target.running_tasks()] == ["\\A", "\\A"]
    assert [i.path for i in target.running_tasks(hidden=True)] == ["\\A", "\\A", "\\Folder\\Hush"]
    assert [i.instance_guid for i in target.running_tasks("Folder\\Hush")] == [quiet.instance_guid]
    assert first.current_action == "/bin/sleep" and first.pid > 1 and first.state is TaskState.RUNNING
    assert {record.instance for record in emulator.runs("A")} == {first.instance_guid, second.instance_guid}
    assert target.stop_running_task("A", first.instance_guid.lower()) is True, "GUIDs match in either case"
    assert target.running_task("A", first.instance_guid) is None
    assert [i.instance_guid for i in target.running_tasks("A")] == [second.instance_guid]


def test_an_instance_that_never_started():
    morvane.register_xml("Off", task_xml("/bin/sleep", "30", settings="<Enabled>false</Enabled>"))
    instance = morvane.start_task("Off")
    assert (instance.state, instance.pid) == (TaskState.UNKNOWN, 0)
    assert instance.refresh() is None and instance.stop() is False
    assert emulator.runs("Off") == []


def argv_of_run(arguments, parameters):
    morvane.register_xml("Args", task_xml(MISSING, arguments))
    morvane.start_task("Args", parameters=parameters)
    return list(emulator.runs("Args")[-1].argv[1:])


VALUES = [f"v{i}" for i in range(32)]

# (the action's arguments, the parameters, the argv after the program)
SUBSTITUTIONS = [
    ("$(Arg0)", ["x"], ["x"]),
    ("$(Arg1) $(Arg0) $(Arg1)", ["a", "b"], ["b", "a", "b"]),
    ("$(Arg31)", VALUES, ["v31"]),
    ("$(Arg1)", ["a"], ["$(Arg1)"]),                          # no value: the text stays
    ("$(Arg0)", None, ["$(Arg0)"]),
    ("$(Arg0)", [], ["$(Arg0)"]),
    ("$(arg0) $(Arg01) $(Arg0", ["x"], ["$(arg0)", "$(Arg01)", "$(Arg0"]),  # look-alikes
    ("$(Arg0) $(Arg1)", ["$(Arg1)", "y"], ["$(Arg1)", "y"]),  # a value is not read again
    ("$(Arg0)", ["two words"], ["two", "words"]),             # substituted, then split
    ("&quot;$(Arg0)&quot;", ["two words"], ["two words"]),
]


@pytest.mark.parametrize("arguments, parameters, argv", SUBSTITUTIONS)
def test_parameters_replace_their_placeholders(arguments, parameters, argv):
    assert argv_of_run(arguments, parameters) == argv


@pytest.mark.parametrize("parameters, error, message", [
    (VALUES + ["v32"], ValueError, "at most 32 parameters"),
    ("text", TypeError, "not a str"),
    ([1], TypeError, "str"),
    (["a\0b"], ValueError, "embedded null character"),
    (5, TypeError, "not iterable"),
])
def test_parameters_refused_before_the_service(parameters, error, message):
    morvane.register_xml("Args", task_xml(MISSING, "$(Arg0)"))
    with pytest.raises(error, match=re.escape(message)) as raised:
        morvane.start_task("Args", parameters=parameters)
    assert "while processing 'parameters'" in (raised.value.__notes__ or [])
    assert emulator.runs("Args") == []


def documented_substitution(text, values):
    """The documentation's rule: $(Arg0) to $(Arg31) stand for the values given, by position."""
    return re.sub(r"\$\(Arg([0-9]|[1-3][0-9])\)",
                  lambda m: values[int(m[1])] if int(m[1]) < len(values) else m[0], text)


PIECES = strategies.sampled_from(["$(Arg0)", "$(Arg1)", "$(Arg12)", "$(Arg31)", "$(Arg32)", "$(Arg", ")", "$", "x"])


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(text=strategies.lists(PIECES, min_size=1, max_size=6).map("".join),
       values=strategies.lists(strategies.sampled_from(["a", "$(Arg0)", "b)"]), max_size=32))
def test_substitution_agrees_with_the_documented_rule(text, values):
    assert argv_of_run(text, values) == [documented_substitution(text, values)]
