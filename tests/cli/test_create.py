"""morvane create: the schtasks options a user knows make the trigger schtasks makes; --xml prints
the definition, which register takes; a task of that name is replaced only with --force; options
that make no task are refused before the service is asked."""

import datetime

import pytest

import morvane
from morvane import definition as d
from morvane.cli_create import definition_of

from .test_command_line import command

TODAY = datetime.date.today()


@pytest.fixture(autouse=True)
def delete_created():
    """Where Windows' own service answers, every test shares one store."""
    yield
    for name in ("Printed", "Created\\Backup", "Backup"):
        if morvane.task_exists(name):
            morvane.delete_task(name)


def at(hour, minute=0, day=None):
    return datetime.datetime.combine(day or TODAY, datetime.time(hour, minute))


@pytest.mark.parametrize(
    "options, trigger",
    [
        (["--schedule", "DAILY", "--start-time", "02:00"], d.DailyTrigger(start_boundary=at(2))),
        (["--sc", "daily", "--mo", "3", "--st", "02:00", "--sd", "2027-01-05"],
         d.DailyTrigger(start_boundary=at(2, day=datetime.date(2027, 1, 5)), days_interval=3)),
        (["--schedule", "MINUTE", "--modifier", "15", "--start-time", "08:00"],
         d.TimeTrigger(start_boundary=at(8), repetition=d.Repetition(interval=datetime.timedelta(minutes=15)))),
        (["--schedule", "HOURLY", "--modifier", "2", "--start-time", "08:00"],
         d.TimeTrigger(start_boundary=at(8), repetition=d.Repetition(interval=datetime.timedelta(hours=2)))),
        (["--schedule", "WEEKLY", "--days", "mon,FRI", "--modifier", "2", "--start-time", "08:30"],
         d.WeeklyTrigger(start_boundary=at(8, 30), days_of_week=d.DayOfWeek.MONDAY | d.DayOfWeek.FRIDAY,
                         weeks_interval=2)),
        (["--schedule", "MONTHLY", "--modifier", "LASTDAY", "--start-time", "23:00"],
         d.MonthlyTrigger(start_boundary=at(23), last_day_of_month=True)),
        (["--schedule", "MONTHLY", "--days", "1,15", "--months", "JAN,JUL", "--start-time", "06:00"],
         d.MonthlyTrigger(start_boundary=at(6), days_of_month={1, 15}, months=d.Month.JANUARY | d.Month.JULY)),
        (["--schedule", "MONTHLY", "--modifier", "6", "--start-time", "06:00", "--start-date", "2027-03-01"],
         d.MonthlyTrigger(start_boundary=at(6, day=datetime.date(2027, 3, 1)), days_of_month={1},
                          months=d.Month.MARCH | d.Month.SEPTEMBER)),
        (["--schedule", "MONTHLY", "--modifier", "LAST", "--days", "SUN", "--start-time", "04:00"],
         d.MonthlyDayOfWeekTrigger(start_boundary=at(4), days_of_week=d.DayOfWeek.SUNDAY,
                                   weeks=d.WeekOfMonth.LAST)),
        (["--schedule", "ONCE", "--start-time", "09:15", "--start-date", "2027-02-03", "--end-date", "2027-02-04"],
         d.TimeTrigger(start_boundary=at(9, 15, datetime.date(2027, 2, 3)),
                       end_boundary=datetime.datetime(2027, 2, 4, 23, 59, 59))),
        (["--schedule", "DAILY", "--start-time", "00:00", "--repeat-interval", "30", "--repeat-duration", "12:00"],
         d.DailyTrigger(start_boundary=at(0), repetition=d.Repetition(
             interval=datetime.timedelta(minutes=30), duration=datetime.timedelta(hours=12)))),
        (["--schedule", "ONSTART"], d.BootTrigger()),
        (["--schedule", "ONLOGON"], d.LogonTrigger()),
        (["--schedule", "ONIDLE"], d.IdleTrigger()),
        (["--schedule", "ONEVENT", "--channel", "System", "--modifier", "*[System[EventID=41]]"],
         d.EventTrigger(subscription='<QueryList><Query Id="0" Path="System"><Select Path="System">'
                        "*[System[EventID=41]]</Select></Query></QueryList>")),
    ],
)
def test_each_schedule_makes_the_trigger_schtasks_makes(capsys, options, trigger):
    status, out, err = command(capsys, "create", "Backup", *options, "--xml", "--", "backup.exe", "--full", "a b")
    assert (status, err) == (0, "")
    model = d.TaskDefinition.from_xml(out)
    assert model.triggers == (trigger,)
    assert model.actions == (d.ExecAction("backup.exe", '--full "a b"'),)
    morvane.register_xml("Printed", out)  # what --xml prints, the service takes


def test_create_registers_and_replaces_only_with_force(capsys):
    assert command(capsys, "create", "Created\\Backup", "--schedule", "ONSTART", "--disabled",
                   "--command", "/bin/true", "--arguments=-x", "--working-directory", "/tmp") == (0, "", "")
    model = d.TaskDefinition.from_xml(morvane.task_xml("Created\\Backup"))
    assert model.actions == (d.ExecAction("/bin/true", "-x", "/tmp"),) and not model.settings.enabled
    status, out, err = command(capsys, "create", "Created\\Backup", "--schedule", "ONLOGON", "--", "/bin/false")
    assert (status, out) == (7, "") and "a task of that name exists, and --force replaces it" in err
    assert command(capsys, "create", "Created\\Backup", "--schedule", "ONLOGON", "--force", "--", "/bin/false") \
        == (0, "", "")
    assert d.TaskDefinition.from_xml(morvane.task_xml("Created\\Backup")).triggers == (d.LogonTrigger(),)


@pytest.mark.parametrize(
    "options, message",
    [
        ([], "no command"),
        (["--schedule", "DAILY", "--modifier", "366", "--", "x"], "--modifier: DAILY takes a whole number from 1 to 365"),
        (["--schedule", "DAILY", "--days", "MON", "--", "x"], "--days: only WEEKLY and MONTHLY take days"),
        (["--schedule", "WEEKLY", "--days", "MOON", "--", "x"], "--days: 'MOON' is none of"),
        (["--start-time", "25:00", "--", "x"], "--start-time: not a time HH:MM"),
        (["--schedule", "DAILY", "--repeat-interval", "50000", "--", "x"], "Repetition.interval: must be at most"),
        (["--schedule", "ONEVENT", "--", "x"], "--channel: ONEVENT needs the event log"),
        (["--command", "x", "--", "y"], "either after -- or with --command"),
    ],
)
@pytest.mark.emulator
def test_options_that_make_no_task_are_refused_before_the_service_is_asked(capsys, options, message):
    from morvane import emulator

    connections = emulator.call_count("CoCreateInstance")
    status, out, err = command(capsys, "create", "Backup", *options)
    assert (status, out) == (2, "") and message in err
    assert emulator.call_count("CoCreateInstance") == connections


def test_the_start_defaults_to_this_minute():
    arguments = type("Arguments", (), dict(
        schedule="DAILY", modifier=None, days=None, months=None, channel=None, start_time=None, start_date=None,
        end_date=None, repeat_interval=None, repeat_duration=None, command_line="x", arguments=None,
        working_directory=None, description=None, disabled=False, program=[]))()
    now = datetime.datetime(2027, 5, 6, 7, 8, 9, 10)
    assert definition_of(arguments, now).triggers[0].start_boundary == datetime.datetime(2027, 5, 6, 7, 8)


@pytest.mark.parametrize(
    "argv, words, program",
    [
        (["create", "X", "--", "a", "--b"], ["create", "X"], ["a", "--b"]),
        (["--task-library", "create", "create", "X", "--", "a"], ["--task-library", "create", "create", "X"], ["a"]),
        (["--task-library", "lib", "run", "create", "--", "a"], ["--task-library", "lib", "run", "create", "--", "a"],
         None),
        (["create", "X", "a"], ["create", "X", "a"], None),
    ],
)
def test_what_follows_the_double_dash_of_create_is_the_program(argv, words, program):
    from morvane.cli_create import split_program

    assert split_program(argv) == (words, program)
