"""The verbs that read and manage registered tasks, against the scheduler: list with subfolders and
hidden tasks, info and its JSON, export read back by register, enable, disable, stop and next."""

import codecs
import dataclasses
import datetime
import json

import pytest

import morvane
from morvane import emulator
from morvane.cli import main
from morvane.task_lines import JSON_KEYS

from .definitions import TASK_XML
from .test_command_line import command

HIDDEN_XML = TASK_XML.replace("<Actions>", "<Settings><Hidden>true</Hidden></Settings><Actions>")
# Every day at 03:00 local time, with characters that UTF-16 and UTF-8 write differently.
DAILY_XML = TASK_XML.replace(
    "<Actions>",
    "<RegistrationInfo><Description>caf\u00e9 \U0001f600</Description></RegistrationInfo>"
    "<Triggers><CalendarTrigger><StartBoundary>2025-01-01T03:00:00</StartBoundary>"
    "<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers><Actions>",
)
SLEEP_XML = TASK_XML.replace("<Command>/bin/true</Command>", "<Command>/bin/sleep</Command><Arguments>60</Arguments>")


@pytest.fixture
def library():
    morvane.register_xml("Backup", TASK_XML)
    morvane.register_xml("Secret", HIDDEN_XML)
    morvane.register_xml("Tools\\Clean", TASK_XML)
    morvane.register_xml("Tools\\Deep\\Secret", HIDDEN_XML)


def json_output(capsys, *argv):
    status, out, err = command(capsys, *argv)
    assert (status, err) == (0, "")
    return json.loads(out)


@pytest.mark.parametrize(
    "argv, paths",
    [
        (["list"], ["\\Backup"]),
        (["list", "-r"], ["\\Backup", "\\Tools\\Clean"]),
        (["list", "--hidden"], ["\\Backup", "\\Secret"]),
        (["list", "tools", "-r", "--hidden"], ["\\Tools\\Clean", "\\Tools\\Deep\\Secret"]),
        (["list", "\\", "-r", "--hidden"], ["\\Backup", "\\Secret", "\\Tools\\Clean", "\\Tools\\Deep\\Secret"]),
    ],
)
def test_list_folders_and_hidden_tasks(capsys, library, argv, paths):
    records = json_output(capsys, *argv, "--json")
    assert sorted(record["path"] for record in records) == paths
    assert all(list(record) == list(JSON_KEYS) for record in records)
    status, out, _ = command(capsys, *argv)
    assert status == 0 and sorted(line.split()[0] for line in out.splitlines()[1:]) == paths


def test_json_keys_are_the_fields_of_task_info():
    assert JSON_KEYS == tuple(field.name for field in dataclasses.fields(morvane.TaskInfo))


@pytest.mark.emulator
def test_info_enable_disable_and_stop(capsys):
    morvane.register_xml("Sleeper", SLEEP_XML)
    info = json_output(capsys, "info", "sleeper", "--json")
    assert info.pop("principal") is None  # the definition names none: it runs as the caller
    assert info == {
        "path": "\\Sleeper", "name": "Sleeper", "enabled": True, "state": "READY", "last_run_time": None,
        "next_run_time": None, "last_task_result": 0x41303, "number_of_missed_runs": 0,
    }
    assert command(capsys, "disable", "Sleeper") == (0, "", "")
    assert json_output(capsys, "info", "Sleeper", "--json")["state"] == "DISABLED"
    status, out, _ = command(capsys, "info", "Sleeper")
    assert status == 0 and "enabled:      no\nstate:        Disabled\n" in out
    assert out.endswith("runs as:      the account that registered it\nlogon type:   NONE\n")
    assert command(capsys, "enable", "Sleeper") == (0, "", "")
    morvane.run_task("Sleeper")
    assert command(capsys, "stop", "Sleeper") == (0, "", "")
    assert emulator.wait_runs("Sleeper") == 0
    info = json_output(capsys, "info", "Sleeper", "--json")
    assert (info["state"], info["enabled"], info["last_task_result"]) == ("READY", True, 0x41306)
    assert datetime.datetime.fromisoformat(info["last_run_time"]).utcoffset() is not None


@pytest.mark.parametrize("encoding", [None, "utf-8"])
def test_export_is_read_back_by_register(capsysbinary, tmp_path, encoding):
    morvane.register_xml("Daily", DAILY_XML)
    file = tmp_path / "daily.xml"
    if encoding is None:  # the default: UTF-16 with a byte order mark, into a file
        assert main(["export", "Daily", "-o", str(file)]) == 0
        assert file.read_bytes().startswith(codecs.BOM_UTF16_LE + "<".encode("utf-16-le"))
    else:  # to standard output, as bytes
        assert main(["export", "Daily", "--encoding", encoding]) == 0
        file.write_bytes(capsysbinary.readouterr().out)
        assert file.read_bytes().startswith(b"<") and b"caf\xc3\xa9" in file.read_bytes()
    assert main(["register", "Copy", str(file)]) == 0
    assert morvane.task_xml("Copy") == morvane.task_xml("Daily")


def test_export_of_a_missing_task_leaves_the_file(capsys, tmp_path):
    file = tmp_path / "kept.xml"
    file.write_bytes(b"kept")
    assert command(capsys, "export", "Missing", "-o", str(file))[0] == 3
    assert file.read_bytes() == b"kept"


# Run times come from the service's trigger engine; a service without one answers none.
@pytest.mark.emulator
@pytest.mark.skipif(not hasattr(emulator, "trigger_run_times"), reason="needs winemu's trigger engine")
def test_next_gives_the_coming_run_times(capsys):
    morvane.register_xml("Daily", DAILY_XML)
    morvane.register_xml("Never", TASK_XML)
    status, out, err = command(capsys, "next", "Daily", "-n", "3")
    times = [datetime.datetime.fromisoformat(line) for line in out.splitlines()]
    assert (status, err, len(times)) == (0, "", 3)
    # 03:00 on three days that follow one another, local time whatever the offset, from now on.
    assert all((moment.hour, moment.minute) == (3, 0) for moment in times)
    assert [(later.date() - earlier.date()).days for earlier, later in zip(times, times[1:])] == [1, 1]
    assert times[0] > datetime.datetime.now(datetime.timezone.utc)
    assert len(command(capsys, "next", "Daily")[1].splitlines()) == 5
    assert command(capsys, "next", "Never") == (0, "", "")


@pytest.mark.skipif(not hasattr(emulator, "trigger_run_times"), reason="needs winemu's trigger engine")
@pytest.mark.parametrize("enabled", [True, False])
def test_next_run_times_and_next_run_time_agree_for_an_enabled_and_a_disabled_task(capsys, enabled):
    morvane.register_xml("Daily", DAILY_XML)
    if not enabled:
        morvane.disable_task("Daily")
    now = datetime.datetime.now(datetime.timezone.utc)
    found = morvane.run_times("Daily", now, now + datetime.timedelta(days=2))
    next_run = morvane.task_info("Daily").next_run_time
    out = command(capsys, "next", "Daily", "-n", "1")[1]
    # A disabled task starts at no time: all three say so.
    assert found[:1] == ([next_run] if next_run else [])
    assert [datetime.datetime.fromisoformat(line) for line in out.splitlines()] == found[:1]
    assert bool(found) == enabled
