"""The command line's "create": a task from the options a schtasks user knows, without XML.

    morvane create NAME --schedule DAILY --start-time 02:00 -- backup.exe --full

builds a TaskDefinition (morvane.definition) with one trigger and one Exec action, and registers
it, or prints its XML with --xml. The schedule kinds, modifiers, days and months are schtasks'
(/SC, /MO, /D, /M), as are the repetition's interval in minutes (/RI) and duration HHHH:MM (/DU);
dates and times are ISO (YYYY-MM-DD, HH:MM), local time, as the schema has them.
"""

from __future__ import annotations

import datetime
import enum
from collections.abc import Callable
from typing import Any

TYPE_CHECKING = False
if TYPE_CHECKING:
    import argparse

    import morvane
    from morvane.definition import ExecAction, Repetition, TaskDefinition, Trigger

__all__ = ["add_create_verb", "definition_of", "split_program"]

SCHEDULES = ("MINUTE", "HOURLY", "DAILY", "WEEKLY", "MONTHLY", "ONCE", "ONSTART", "ONLOGON", "ONIDLE", "ONEVENT")
_DAY_NAMES = ("MON", "TUE", "WED", "THU", "FRI", "SAT", "SUN")
_MONTH_NAMES = ("JAN", "FEB", "MAR", "APR", "MAY", "JUN", "JUL", "AUG", "SEP", "OCT", "NOV", "DEC")
_WEEK_NAMES = ("FIRST", "SECOND", "THIRD", "FOURTH", "LAST")
# schtasks' ranges of /MO for each schedule that takes a number.
_MODIFIER_RANGES = {"MINUTE": (1, 1439), "HOURLY": (1, 23), "DAILY": (1, 365), "WEEKLY": (1, 52), "MONTHLY": (1, 12)}

EPILOG = """\
schtasks lines and the create line that replaces each:
  schtasks /Create /TN Backup /SC DAILY /ST 02:00 /TR "backup.exe --full"
  morvane create Backup --schedule DAILY --start-time 02:00 -- backup.exe --full
  schtasks /Create /TN Report /SC WEEKLY /D MON,FRI /ST 08:30 /TR report.exe
  morvane create Report --schedule WEEKLY --days MON,FRI --start-time 08:30 -- report.exe
  schtasks /Create /TN Poll /SC MINUTE /MO 15 /TR poll.exe
  morvane create Poll --schedule MINUTE --modifier 15 -- poll.exe
  schtasks /Create /TN Close /SC MONTHLY /MO LASTDAY /M * /ST 23:00 /TR close.exe
  morvane create Close --schedule MONTHLY --modifier LASTDAY --start-time 23:00 -- close.exe
  schtasks /Create /TN Boot /SC ONSTART /TR init.exe /F
  morvane create Boot --schedule ONSTART --force -- init.exe
"""


class CreateError(ValueError):
    """Options that make no task, in one line."""


def add_create_verb(verbs: argparse._SubParsersAction[argparse.ArgumentParser],
                    common: argparse.ArgumentParser, task_name: Callable[[str], str]) -> None:
    import argparse

    help = "create a task from a schedule and a command, as schtasks /Create does"
    create = verbs.add_parser("create", help=help, description=help, parents=[common], epilog=EPILOG,
                              formatter_class=argparse.RawDescriptionHelpFormatter)
    create.add_argument("name", metavar="NAME", type=task_name, help="the task's name, e.g. 'Backup' or 'Folder\\Backup'")
    create.add_argument("--schedule", "--sc", metavar="KIND", type=str.upper, choices=SCHEDULES, default="ONCE",
                        help=f"when it runs (/SC): {', '.join(SCHEDULES)} (default ONCE)")
    create.add_argument("--modifier", "--mo", metavar="MO",
                        help="(/MO) every MO minutes, hours, days, weeks or months; for MONTHLY also FIRST, SECOND, "
                        "THIRD, FOURTH, LAST (a week, with --days) or LASTDAY; for ONEVENT the event's XPath query")
    create.add_argument("--days", "--d", metavar="DAYS",
                        help="(/D) WEEKLY and MONTHLY by week: MON,...,SUN or *; MONTHLY: days of the month 1-31")
    create.add_argument("--months", "--m", metavar="MONTHS", help="(/M) MONTHLY: JAN,...,DEC or * (the default)")
    create.add_argument("--channel", "--ec", metavar="LOG", help="(/EC) ONEVENT: the event log, e.g. System")
    create.add_argument("--start-time", "--st", metavar="HH:MM", help="(/ST) the time of day (default: now)")
    create.add_argument("--start-date", "--sd", metavar="YYYY-MM-DD", help="(/SD) the first day (default: today)")
    create.add_argument("--end-date", "--ed", metavar="YYYY-MM-DD", help="(/ED) the last day it starts")
    create.add_argument("--repeat-interval", "--ri", metavar="MINUTES", type=int,
                        help="(/RI) start again every MINUTES within each day's run")
    create.add_argument("--repeat-duration", "--du", metavar="HHHH:MM",
                        help="(/DU) for how long it starts again (default with --repeat-interval: a day)")
    create.add_argument("--command", "--tr", dest="command_line", metavar="COMMAND", help="(/TR) the program to run")
    create.add_argument("--arguments", metavar="ARGS", help="its arguments, as one string")
    create.add_argument("--working-directory", metavar="DIR", help="the directory it runs in")
    create.add_argument("--description", metavar="TEXT", help="what the task is for")
    create.add_argument("--disabled", action="store_true", help="register it disabled (/DISABLE)")
    create.add_argument("--force", "-f", action="store_true", help="replace a task of that name (/F)")
    create.add_argument("--xml", action="store_true", help="print the definition instead of registering it")
    create.add_argument("program", metavar="-- COMMAND [ARGS...]", nargs="*", help="the program and its arguments")


def split_program(argv: list[str]) -> tuple[list[str], list[str] | None]:
    """For a "create" command line: the words before "--", and the program and its arguments
    after it (None without "--"). argparse does not pass what follows "--" on to a verb's parser."""
    if "--" not in argv:
        return argv, None
    cut = argv.index("--")
    words = [word for at, word in enumerate(argv[:cut])
             if not word.startswith("-") and (at == 0 or argv[at - 1] != "--task-library")]
    if not words or words[0] != "create":
        return argv, None
    return argv[:cut], argv[cut + 1:]


def definition_of(arguments: argparse.Namespace, now: datetime.datetime | None = None) -> TaskDefinition:
    """The definition the options describe; CreateError for options that describe none, and the
    model's ValueError for a value the schema refuses."""
    from morvane.definition import RegistrationInfo, Settings, TaskDefinition

    now = now or datetime.datetime.now()
    action = _action(arguments)
    trigger = _trigger(arguments, now)
    return TaskDefinition(
        registration_info=RegistrationInfo(description=arguments.description),
        triggers=(trigger,),
        actions=(action,),
        settings=Settings(enabled=not arguments.disabled),
    )


def _action(arguments: argparse.Namespace) -> ExecAction:
    import subprocess

    from morvane.definition import ExecAction

    if arguments.program and arguments.command_line:
        raise CreateError("give the command either after -- or with --command, not both")
    if arguments.program:
        command, *rest = arguments.program
        # As CommandLineToArgvW splits them again (the service splits Arguments so).
        given = subprocess.list2cmdline(rest) or None
        if arguments.arguments is not None:
            raise CreateError("give the arguments either after the command or with --arguments, not both")
    elif arguments.command_line:
        command, given = arguments.command_line, arguments.arguments
    else:
        raise CreateError("no command: give it after -- (morvane create NAME -- program args) or with --command")
    return ExecAction(command, given, arguments.working_directory)


def _start(arguments: argparse.Namespace, now: datetime.datetime) -> datetime.datetime:
    day = _date(arguments.start_date, "--start-date") if arguments.start_date else now.date()
    if arguments.start_time:
        try:
            time = datetime.time.fromisoformat(arguments.start_time)
        except ValueError:
            raise CreateError(f"--start-time: not a time HH:MM: {arguments.start_time!r}") from None
    else:
        time = now.time().replace(second=0, microsecond=0)
    return datetime.datetime.combine(day, time)


def _date(text: str, option: str) -> datetime.date:
    try:
        return datetime.date.fromisoformat(text)
    except ValueError:
        raise CreateError(f"{option}: not a date YYYY-MM-DD: {text!r}") from None


def _number(text: str | None, schedule: str) -> int:
    low, high = _MODIFIER_RANGES[schedule]
    if text is None:
        return 1
    if not text.isdigit() or not low <= int(text) <= high:
        raise CreateError(f"--modifier: {schedule} takes a whole number from {low} to {high}, not {text!r}")
    return int(text)


def _members(text: str | None, names: tuple[str, ...], kind: type[enum.Flag], option: str, default: Any) -> Any:
    if not text:
        return default
    flags = kind(0)
    members = [member for member in kind if member.name not in ("ALL", "WEEKDAYS")]
    if text.strip() == "*":
        return kind["ALL"]
    for word in text.upper().split(","):
        if word.strip() not in names:
            raise CreateError(f"{option}: {word.strip()!r} is none of {','.join(names)} or *")
        flags |= _by_name(members, names, word.strip())
    return flags


def _by_name(members: list[enum.Flag], names: tuple[str, ...], word: str) -> enum.Flag:
    for member in members:
        if str(member.name)[:3] == word[:3]:
            return member
    raise AssertionError(word)


def _trigger(arguments: argparse.Namespace, now: datetime.datetime) -> Trigger:
    from morvane import definition as d

    schedule = arguments.schedule
    start = _start(arguments, now)
    timed = schedule in ("MINUTE", "HOURLY", "DAILY", "WEEKLY", "MONTHLY", "ONCE")
    common: dict[str, Any] = {}
    if timed or arguments.start_date or arguments.start_time:
        common["start_boundary"] = start
    if arguments.end_date:
        common["end_boundary"] = datetime.datetime.combine(_date(arguments.end_date, "--end-date"),
                                                            datetime.time(23, 59, 59))
    repetition = _repetition(arguments)
    if schedule in ("MINUTE", "HOURLY"):
        if repetition is not None:
            raise CreateError(f"--repeat-interval: {schedule} repeats by its --modifier already")
        every = _number(arguments.modifier, schedule)
        unit = datetime.timedelta(minutes=every) if schedule == "MINUTE" else datetime.timedelta(hours=every)
        repetition = d.Repetition(interval=unit)
    if repetition is not None:
        common["repetition"] = repetition
    if schedule not in ("WEEKLY", "MONTHLY") and arguments.days:
        raise CreateError(f"--days: only WEEKLY and MONTHLY take days, not {schedule}")
    if schedule != "MONTHLY" and arguments.months:
        raise CreateError(f"--months: only MONTHLY takes months, not {schedule}")
    if schedule in ("MINUTE", "HOURLY", "ONCE"):
        if schedule == "ONCE" and arguments.modifier:
            raise CreateError("--modifier: ONCE takes none")
        return d.TimeTrigger(**common)
    if schedule == "DAILY":
        return d.DailyTrigger(days_interval=_number(arguments.modifier, schedule), **common)
    if schedule == "WEEKLY":
        days = _members(arguments.days, _DAY_NAMES, d.DayOfWeek, "--days", d.DayOfWeek.MONDAY)
        return d.WeeklyTrigger(days_of_week=days, weeks_interval=_number(arguments.modifier, schedule),
                               **common)
    if schedule == "MONTHLY":
        return _monthly(arguments, start, common)
    if arguments.modifier and schedule != "ONEVENT":
        raise CreateError(f"--modifier: {schedule} takes none")
    if schedule == "ONSTART":
        return d.BootTrigger(**common)
    if schedule == "ONLOGON":
        return d.LogonTrigger(**common)
    if schedule == "ONIDLE":
        return d.IdleTrigger(**common)
    return _event(arguments, common)


def _monthly(arguments: argparse.Namespace, start: datetime.datetime, common: dict[str, Any]) -> Trigger:
    from morvane import definition as d

    modifier = (arguments.modifier or "1").upper()
    months = _members(arguments.months, _MONTH_NAMES, d.Month, "--months", None)
    if modifier in _WEEK_NAMES:
        week = [d.WeekOfMonth.FIRST, d.WeekOfMonth.SECOND, d.WeekOfMonth.THIRD, d.WeekOfMonth.FOURTH,
                d.WeekOfMonth.LAST][_WEEK_NAMES.index(modifier)]
        days = _members(arguments.days, _DAY_NAMES, d.DayOfWeek, "--days", d.DayOfWeek.MONDAY)
        return d.MonthlyDayOfWeekTrigger(days_of_week=days, weeks=week, months=months or d.Month.ALL,
                                         **common)
    if modifier == "LASTDAY":
        if arguments.days:
            raise CreateError("--days: LASTDAY names the day already")
        return d.MonthlyTrigger(last_day_of_month=True, months=months or d.Month.ALL, **common)
    every = _number(modifier, "MONTHLY")
    if months is not None and every != 1:
        raise CreateError("--months: give either the months or a --modifier of every N months, not both")
    if months is None:
        # Every N months from the start's month, as schtasks counts them.
        months = d.Month(sum(1 << ((start.month - 1 + step) % 12) for step in range(0, 12, every)))
    try:
        days = frozenset(int(day) for day in (arguments.days or "1").split(","))
    except ValueError:
        raise CreateError(f"--days: MONTHLY takes days of the month 1-31, not {arguments.days!r}") from None
    return d.MonthlyTrigger(days_of_month=days, months=months, **common)


def _repetition(arguments: argparse.Namespace) -> Repetition | None:
    from morvane.definition import Repetition

    if arguments.repeat_interval is None:
        if arguments.repeat_duration:
            raise CreateError("--repeat-duration: needs --repeat-interval")
        return None
    duration = datetime.timedelta(days=1)
    if arguments.repeat_duration:
        hours, _, minutes = arguments.repeat_duration.partition(":")
        if not hours.isdigit() or not minutes.isdigit():
            raise CreateError(f"--repeat-duration: not a duration HHHH:MM: {arguments.repeat_duration!r}")
        duration = datetime.timedelta(hours=int(hours), minutes=int(minutes))
    return Repetition(interval=datetime.timedelta(minutes=arguments.repeat_interval), duration=duration)


def _event(arguments: argparse.Namespace, common: dict[str, Any]) -> Trigger:
    from xml.sax.saxutils import quoteattr

    from morvane.definition import EventTrigger
    from morvane.definition.xml_text import escape_text

    if not arguments.channel:
        raise CreateError("--channel: ONEVENT needs the event log (/EC), e.g. System")
    query = escape_text(arguments.modifier or "*")
    path = quoteattr(arguments.channel)
    subscription = f'<QueryList><Query Id="0" Path={path}><Select Path={path}>{query}</Select></Query></QueryList>'
    return EventTrigger(subscription=subscription, **common)
