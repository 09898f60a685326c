"""A model of when time and calendar triggers start a task, written from Microsoft's documentation.

Each rule below names the page it comes from. Where the documentation is silent the model takes
the reading the README states as morvane's decision, marked DECIDED; nothing here is read from
winemu's code. A trigger is a plain dict (see `Trigger`), times are whole seconds since 1970.

Documented:
- StartBoundary (ITrigger::StartBoundary remarks): with an offset or Z "the time and offset are
  always used regardless of the time zone and daylight saving settings"; without one, the local
  computer's zone and daylight-saving information. A TimeTrigger starts once, then.
- ScheduleByDay/DaysInterval: 1 is every day, 2 every other day, counted from the start's day.
- ScheduleByWeek: DaysOfWeek in every WeeksInterval-th week (1 weekly, 2 every other week).
- ScheduleByMonth: the listed days of the listed months; "Last" the last day of the month.
- ScheduleByMonthDayOfWeek: Weeks 1-4 are "the first four weeks of the month", "Last" "the last
  week regardless of which week it is": read as the first to fourth, and the last, occurrence of
  each listed weekday in the month.
- The time of day of every calendar start is the StartBoundary's (ScheduleBy... remarks: "The
  time of day that the task is started is set by the StartBoundary element").
- Repetition (IRepetitionPattern remarks): an Interval of one minute for a Duration of four
  minutes launches the task five times, at 0, 1, 2, 3 and 4 minutes: starts at first + k*Interval
  while k*Interval <= Duration.
- EndBoundary: the trigger is deactivated then; no start after it.
- Disabled triggers (GetRunTimes and get_NextRunTime remarks) "will still affect" the run times.
- GetRunTimes: the times during [pstStart, pstEnd].

DECIDED (the documentation is silent):
- Weeks of the month counted from Sunday, the first day of SYSTEMTIME's week, from the week of the
  StartBoundary's day.
- A day that a month lacks (the 31st of April) gives no start in it.
- Interval is elapsed time: across a change of the local offset the pattern keeps its pace.
- A local start time skipped by a change is made as far past the change as it lay past its
  beginning (fold=0); one that occurs twice is made at its first occurrence.
- Without Duration a pattern lasts until the trigger's next start (then a new one begins); with a
  Duration longer than the gap between starts the patterns overlap and their times merge.
- Months left out: every month; Weeks left out: every week.
- A start at the EndBoundary itself, and times at the window's ends, are included.
- A StartBoundary with a fraction of a second starts at the next whole second.
"""

from __future__ import annotations

import calendar
import datetime as dt
from typing import TypedDict
from zoneinfo import ZoneInfo

DAY = 86400


class Trigger(TypedDict, total=False):
    kind: str  # "time", "daily", "weekly", "monthly", "monthly_dow"
    start: dt.datetime  # naive wall time of the StartBoundary, microseconds allowed
    offset: int | None  # minutes east of UTC written with it; None: local time
    end: dt.datetime | None  # naive wall time of the EndBoundary, same offset
    enabled: bool
    days_interval: int
    weeks_interval: int
    days_of_week: set[int]  # 0 Monday ... 6 Sunday (Python's numbering)
    days_of_month: set  # 1..31 and "Last"
    weeks: set | None  # 1..4 and "Last"; None: left out
    months: set[int] | None  # 1..12; None: left out
    interval: int | None  # minutes
    duration: int | None  # minutes; None: indefinitely
    enabled_text: str | None  # the text of its Enabled element, as written; None or absent: left out


def _instant(wall: dt.datetime, offset: int | None, zone: ZoneInfo) -> int:
    tz = zone if offset is None else dt.timezone(dt.timedelta(minutes=offset))
    return int(wall.replace(tzinfo=tz, fold=0).timestamp())


def _whole_start(t: Trigger) -> dt.datetime:
    start = t["start"]
    if start.microsecond:
        start = start.replace(microsecond=0) + dt.timedelta(seconds=1)
    return start


def _nth_weekday(day: dt.date) -> tuple[int, bool]:
    """Which occurrence of its weekday in its month the day is, and whether it is the last."""
    length = calendar.monthrange(day.year, day.month)[1]
    return (day.day - 1) // 7 + 1, day.day + 7 > length


def _runs_on(t: Trigger, first: dt.date, day: dt.date) -> bool:
    kind = t["kind"]
    if kind == "daily":
        return (day - first).days % t["days_interval"] == 0
    if kind == "weekly":
        def sunday_of(d):
            return d - dt.timedelta(days=(d.weekday() + 1) % 7)
        weeks_apart = (sunday_of(day) - sunday_of(first)).days // 7
        return day.weekday() in t["days_of_week"] and weeks_apart % t["weeks_interval"] == 0
    if t.get("months") is not None and day.month not in t["months"]:
        return False
    if kind == "monthly":
        last = calendar.monthrange(day.year, day.month)[1]
        return day.day in t["days_of_month"] or ("Last" in t["days_of_month"] and day.day == last)
    occurrence, is_last = _nth_weekday(day)
    weeks = t.get("weeks")
    in_week = weeks is None or occurrence in weeks or ("Last" in weeks and is_last)
    return day.weekday() in t["days_of_week"] and in_week


def trigger_starts(t: Trigger, zone: ZoneInfo, until: int) -> list[int]:
    """The trigger's starts from its StartBoundary up to `until` (and one beyond, if any)."""
    start = _whole_start(t)
    if t["kind"] == "time":
        return [_instant(start, t.get("offset"), zone)]
    starts = []
    day = first = start.date()
    # A schedule that starts at all does so within a few years: look that far past `until`.
    while True:
        at = _instant(dt.datetime.combine(day, start.time()), t.get("offset"), zone)
        if at > until + 3 * 366 * DAY:
            return starts
        if _runs_on(t, first, day):
            starts.append(at)
            if at > until:
                return starts
        day += dt.timedelta(days=1)


def trigger_times(t: Trigger, zone: ZoneInfo, low: int, high: int) -> set[int]:
    """The times within [low, high] at which one trigger starts its task."""
    if t.get("end") is not None:
        high = min(high, _instant(t["end"].replace(microsecond=0), t.get("offset"), zone))
    starts = trigger_starts(t, zone, high)
    times = set()
    step = (t.get("interval") or 0) * 60
    for index, first in enumerate(starts):
        if first > high:
            break
        if not step:
            last = first
        elif t.get("duration") is not None:
            last = first + t["duration"] * 60
        else:
            last = starts[index + 1] - 1 if index + 1 < len(starts) else high
        top = min(last, high)
        if not step:
            if low <= first <= top:
                times.add(first)
            continue
        k = max(0, -((first - low) // step))  # the first k with first + k*step >= low
        while first + k * step <= top:
            times.add(first + k * step)
            k += 1
    return times


def run_times(triggers: list[Trigger], zone: ZoneInfo, low: int, high: int, max_count: int = 0) -> list[int]:
    """GetRunTimes over [low, high]: every trigger, enabled or not, merged; the first max_count."""
    merged = sorted(set().union(*(trigger_times(t, zone, low, high) for t in triggers)))
    return merged[:max_count] if max_count else merged


def boundary(wall: dt.datetime, offset: int | None) -> str:
    text = wall.isoformat()
    if offset is not None:
        sign = "-" if offset < 0 else "+"
        text += f"{sign}{abs(offset) // 60:02d}:{abs(offset) % 60:02d}"
    return text


def trigger_xml(t: Trigger) -> str:
    """The trigger as a definition writes it."""
    parts = []
    if t.get("enabled_text") is not None:
        parts.append(f"<Enabled>{t['enabled_text']}</Enabled>")
    parts.append(f"<StartBoundary>{boundary(t['start'], t['offset'])}</StartBoundary>")
    if t["end"] is not None:
        parts.append(f"<EndBoundary>{boundary(t['end'], t['offset'])}</EndBoundary>")
    if t["interval"] is not None:
        duration = "" if t["duration"] is None else f"<Duration>PT{t['duration']}M</Duration>"
        parts.append(f"<Repetition><Interval>PT{t['interval']}M</Interval>{duration}</Repetition>")
    if t["kind"] == "time":
        return f"<TimeTrigger>{''.join(parts)}</TimeTrigger>"
    days = "<DaysOfWeek>" + "".join(f"<{calendar.day_name[d]}/>" for d in sorted(t["days_of_week"])) + "</DaysOfWeek>"
    months = "" if t["months"] is None else "<Months>" + "".join(
        f"<{calendar.month_name[m]}/>" for m in sorted(t["months"])) + "</Months>"
    if t["kind"] == "daily":
        schedule = f"<ScheduleByDay><DaysInterval>{t['days_interval']}</DaysInterval></ScheduleByDay>"
    elif t["kind"] == "weekly":
        schedule = f"<ScheduleByWeek><WeeksInterval>{t['weeks_interval']}</WeeksInterval>{days}</ScheduleByWeek>"
    elif t["kind"] == "monthly":
        chosen = "".join(f"<Day>{d}</Day>" for d in sorted(t["days_of_month"], key=str))
        schedule = f"<ScheduleByMonth><DaysOfMonth>{chosen}</DaysOfMonth>{months}</ScheduleByMonth>"
    else:
        weeks = "" if t["weeks"] is None else "<Weeks>" + "".join(
            f"<Week>{w}</Week>" for w in sorted(t["weeks"], key=str)) + "</Weeks>"
        schedule = f"<ScheduleByMonthDayOfWeek>{weeks}{days}{months}</ScheduleByMonthDayOfWeek>"
    return f"<CalendarTrigger>{''.join(parts)}{schedule}</CalendarTrigger>"
