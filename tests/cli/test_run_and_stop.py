"""`run` and `stop` when the service does nothing though it answers with success: the command line
says that nothing started (status 6) or that nothing ran, while the functions keep the service's
answer."""

import pytest

import morvane
from morvane import emulator

from .definitions import TASK_XML
from .test_command_line import command

SLEEP_XML = TASK_XML.replace("<Command>/bin/true</Command>", "<Command>/bin/sleep</Command><Arguments>60</Arguments>")


def with_settings(settings):
    return SLEEP_XML.replace("<Actions>", f"<Settings>{settings}</Settings><Actions>")


# (definition, start one run first, disable it first, status, the tail of standard error, runs after)
CASES = [
    (SLEEP_XML, False, False, 0, "", 1),
    (SLEEP_XML, False, True, 6, "nothing started: the task is disabled (morvane enable lets it run)\n", 0),
    (with_settings("<AllowStartOnDemand>false</AllowStartOnDemand>"), False, False, 6,
     "nothing started: its definition does not allow starting it on demand (AllowStartOnDemand is false)\n", 0),
    # IgnoreNew is the default policy.
    (SLEEP_XML, True, False, 6,
     "nothing started: an instance is running and the task ignores new ones (MultipleInstancesPolicy IgnoreNew)\n", 1),
    (with_settings("<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>"), True, False, 0, "", 2),
    (with_settings("<MultipleInstancesPolicy>Queue</MultipleInstancesPolicy>"), True, False, 0,
     "queued: it starts when the running instance ends (MultipleInstancesPolicy Queue)\n", 2),
]


@pytest.mark.parametrize("xml, running, disabled, status, tail, runs", CASES)
def test_run_says_when_nothing_started(capsys, xml, running, disabled, status, tail, runs):
    morvane.register_xml("Sleeper", xml)
    if running:
        morvane.run_task("Sleeper")
    if disabled:
        morvane.disable_task("Sleeper")
    got, out, err = command(capsys, "run", "Sleeper")
    assert (got, out) == (status, "") and err.endswith(tail)
    if tail:
        assert err.startswith("morvane run 'Sleeper': ") and err.count("\n") == 1
    assert len(emulator.runs("Sleeper")) == runs
    # The function answers as the service does: success, whatever started.
    assert morvane.run_task("Sleeper") is None


def test_stop_says_when_nothing_ran(capsys):
    morvane.register_xml("Sleeper", SLEEP_XML)
    assert command(capsys, "stop", "Sleeper") == (
        0, "", "morvane stop 'Sleeper': nothing to stop: no instance of the task was running\n"
    )
    morvane.run_task("Sleeper")
    assert command(capsys, "stop", "Sleeper") == (0, "", "")
    assert emulator.wait_runs("Sleeper") == 0


def exiting(code, seconds=0):
    return TASK_XML.replace("<Command>/bin/true</Command>",
                            f"<Command>/bin/sh</Command><Arguments>-c &quot;sleep {seconds}; exit {code}&quot;</Arguments>")


# (definition, the options after the name, status, standard output, the tail of standard error)
WAITS = [
    (exiting(0), ["--wait"], 0, "'Job': ended with result 0 (0x00000000)\n", ""),
    (exiting(3), ["--wait", "--timeout", "10"], 9, "'Job': ended with result 3 (0x00000003)\n", ""),
    (exiting(0, 30), ["--wait", "--timeout", "0.1"], 10, "", "still running after 0.1 s (left running)\n"),
    (exiting(0), ["--timeout", "1"], 2, "", "--timeout goes with --wait\n"),
    (SLEEP_XML.replace("<Actions>", "<Settings><Enabled>false</Enabled></Settings><Actions>"), ["--wait"], 6, "",
     "nothing started: the task is disabled (morvane enable lets it run)\n"),
]


@pytest.mark.parametrize("xml, options, status, out, tail", WAITS,
                         ids=["ended", "failed", "timed out", "timeout alone", "not started"])
def test_run_waits_for_the_result(capsys, xml, options, status, out, tail):
    morvane.register_xml("Job", xml)
    got, printed, err = command(capsys, "run", "Job", *options)
    assert (got, printed) == (status, out) and err.endswith(tail)


def test_running_lists_instances(capsys):
    morvane.register_xml("Sleeper", with_settings("<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>"))
    first = morvane.start_task("Sleeper")
    morvane.start_task("Sleeper")
    status, out, err = command(capsys, "running")
    assert (status, err) == (0, "") and [line.split("\t")[0] for line in out.splitlines()] == ["\\Sleeper"] * 2
    assert out.split("\t")[1] == first.instance_guid
    assert command(capsys, "running", "Sleeper", "--json")[1].count('"state": "RUNNING"') == 2
    morvane.stop_task("Sleeper")
    assert command(capsys, "running", "Sleeper") == (0, "", "")
