"""The emulator's trigger engine against a model of the trigger rules written with zoneinfo.

The model walks every local day from a trigger's start, as its rules read: a calendar trigger
starts at the StartBoundary's time of day in the StartBoundary's clock (the zone, or the fixed
offset written with it), a local time skipped by a change is read with fold=0 (that far past the
change), a repeated one as its first occurrence; repetition adds Interval in elapsed time up to
and including Duration, or without Duration until the trigger's next start.
"""

import calendar
import datetime as dt
import sys
import time
from zoneinfo import ZoneInfo

import pytest
from hypothesis import given, settings
from hypothesis import strategies as st

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

from morvane import emulator  # noqa: E402
import trigger_model  # noqa: E402
from process_zone import zone_of_process  # noqa: E402

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

# Zones, each with a day on which its clocks change (at 02:00 local time in each; by 30 minutes
# on Lord Howe Island).
ZONE_CHANGES = [("Europe/Berlin", dt.datetime(2026, 3, 29)), ("Europe/Berlin", dt.datetime(2026, 10, 25)),
                ("America/New_York", dt.datetime(2026, 3, 8)), ("America/New_York", dt.datetime(2026, 11, 1)),
                ("Australia/Lord_Howe", dt.datetime(2026, 4, 5)), ("Australia/Lord_Howe", dt.datetime(2026, 10, 4)),
                ("UTC", dt.datetime(2026, 3, 29))]


def instant(wall, offset, zone):
    tz = zone if offset is None else dt.timezone(dt.timedelta(minutes=offset))
    return int(wall.replace(tzinfo=tz, fold=0).timestamp())


triggers = st.fixed_dictionaries({
    "kind": st.sampled_from(["time", "daily", "weekly", "monthly", "monthly_dow"]),
    # Days from the change, and a time of day that often falls near it.
    "start": st.builds(lambda days, minutes: dt.timedelta(days=days, minutes=minutes), st.integers(-10, 3),
                       st.integers(90, 210) | st.integers(0, 1439)),
    "offset": st.none() | st.sampled_from([0, 60, -300, 330, 840]),
    "end": st.sampled_from([None, None, None, 1]).flatmap(
        lambda some: st.just(None) if some is None else st.integers(0, 20 * 1440).map(lambda m: dt.timedelta(minutes=m))),
    "days_interval": st.integers(1, 4),
    "weeks_interval": st.integers(1, 3),
    "days": st.sets(st.integers(0, 6), min_size=1),
    "days_of_month": st.sets(st.integers(1, 31) | st.just("Last"), min_size=1, max_size=4),
    "weeks": st.sets(st.sampled_from([1, 2, 3, 4, "Last"]), min_size=1),
    "months": st.none() | st.sets(st.integers(1, 12), min_size=1),
    "interval": st.none() | st.integers(5, 180) | st.integers(181, 24 * 60),
    "duration": st.none() | st.integers(1, 3 * 1440),
})


def trigger_xml(t, near):
    start = near + t["start"]
    end = None if t["end"] is None else start + t["end"]
    return trigger_model.trigger_xml({**t, "start": start, "end": end, "days_of_week": t["days"]})


def is_start_day(t, first, day):
    if t["kind"] == "daily":
        return (day - first).days % t["days_interval"] == 0
    if t["kind"] == "weekly":
        sunday = first - dt.timedelta(days=(first.weekday() + 1) % 7)
        return day.weekday() in t["days"] and (day - sunday).days // 7 % t["weeks_interval"] == 0
    if t["months"] is not None and day.month not in t["months"]:
        return False
    last = calendar.monthrange(day.year, day.month)[1]
    if t["kind"] == "monthly":
        return day.day in t["days_of_month"] or ("Last" in t["days_of_month"] and day.day == last)
    week = (day.day - 1) // 7 + 1
    return day.weekday() in t["days"] and (week in t["weeks"] or ("Last" in t["weeks"] and day.day + 7 > last))


def model_starts(t, near, zone, last):
    start = near + t["start"]
    if t["kind"] == "time":
        yield instant(start, t["offset"], zone)
        return
    day = first = start.date()
    while instant(dt.datetime.combine(day, start.time()), t["offset"], zone) <= last + 2 * 86400:
        if is_start_day(t, first, day):
            yield instant(dt.datetime.combine(day, start.time()), t["offset"], zone)
        day += dt.timedelta(days=1)


def model_times(t, near, zone, low, high):
    start = near + t["start"]
    if t["end"] is not None:
        high = min(high, instant(start + t["end"], t["offset"], zone))
    starts = list(model_starts(t, near, zone, high))
    times = set()
    for i, first in enumerate(starts):
        if t["interval"] is None:
            last = first
        elif t["duration"] is not None:
            last = first + t["duration"] * 60
        else:
            last = starts[i + 1] - 1 if i + 1 < len(starts) else high
        at = first
        while at <= min(last, high):
            if at >= low:
                times.add(at)
            at += (t["interval"] or 1) * 60
    return times


@settings(max_examples=500, deadline=None)
@given(change=st.sampled_from(ZONE_CHANGES), first=triggers, second=st.none() | triggers,
       window_start=st.integers(-1440, 5 * 1440), window_length=st.integers(0, 6 * 1440) | st.integers(0, 15 * 1440),
       max_count=st.just(0) | st.integers(1, 6))
def test_engine_agrees_with_the_model(change, first, second, window_start, window_length, max_count):
    zone_name, near = change
    zone = ZoneInfo(zone_name)
    # The window from about the first trigger's start on, where its times are.
    low = instant(near + first["start"], None, zone) + window_start * 60
    high = low + window_length * 60
    chosen = [first] + ([second] if second else [])
    definition = ('<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Triggers>'
                  + "".join(trigger_xml(t, near) for t in chosen)
                  + "</Triggers><Actions><Exec><Command>true</Command></Exec></Actions></Task>")
    expected = sorted(set().union(*(model_times(t, near, zone, low, high) for t in chosen)))
    if max_count:
        expected = expected[:max_count]
    with zone_of_process(zone_name):
        assert emulator.trigger_run_times(definition, low, high, max_count) == (expected, True)


def definition_of(triggers):
    return ('<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Triggers>' + triggers
            + "</Triggers><Actions><Exec><Command>true</Command></Exec></Actions></Task>")


UTC = dt.timezone.utc


def daily_trigger(start, more="", schedule="<ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay>"):
    return f"<CalendarTrigger><StartBoundary>{start}</StartBoundary>{more}{schedule}</CalendarTrigger>"


# What the documentation leaves open, as decided (README, "Run times"): each row is registered
# through the service's checks and asked of it, in UTC.
DECISIONS = [
    ("repetition without Duration lasts until the trigger starts again",
     daily_trigger("2026-01-01T08:00:00", "<Repetition><Interval>PT7H</Interval></Repetition>"),
     ("2026-01-01T00:00", "2026-01-02T09:00"), ["01T08:00", "01T15:00", "01T22:00", "02T05:00", "02T08:00"]),
    ("a long Duration overlaps the next start, the times merged",
     daily_trigger("2026-01-01T08:00:00", "<Repetition><Interval>PT7H</Interval><Duration>P2D</Duration></Repetition>"),
     ("2026-01-02T00:00", "2026-01-02T13:00"), ["02T05:00", "02T08:00", "02T12:00"]),
    ("ScheduleByMonthDayOfWeek without Weeks: those days of every week",
     daily_trigger("2026-01-01T07:00:00", schedule="<ScheduleByMonthDayOfWeek><DaysOfWeek><Friday/></DaysOfWeek>"
                   "</ScheduleByMonthDayOfWeek>"),
     ("2026-01-01T00:00", "2026-01-31T00:00"), ["02T07:00", "09T07:00", "16T07:00", "23T07:00", "30T07:00"]),
    ("Enabled 1 is taken as true", daily_trigger("2026-01-01T07:00:00", "<Enabled>1</Enabled>"),
     ("2026-01-01T00:00", "2026-01-02T00:00"), ["01T07:00"]),
    ("Enabled 0 is taken as false, and a disabled trigger still counts",
     daily_trigger("2026-01-01T07:00:00", "<Enabled>0</Enabled>"),
     ("2026-01-01T00:00", "2026-01-02T00:00"), ["01T07:00"]),
    ("a start half a second past the minute is made at the next second",
     daily_trigger("2026-01-01T07:00:00.5"), ("2026-01-01T00:00", "2026-01-02T08:00"), ["01T07:00:01", "02T07:00:01"]),
]


@pytest.mark.parametrize("triggers, window, expected", [row[1:] for row in DECISIONS], ids=[row[0] for row in DECISIONS])
def test_what_the_documentation_leaves_open(triggers, window, expected):
    import morvane

    def moment(text):
        return dt.datetime.fromisoformat(text).replace(tzinfo=UTC)

    with zone_of_process("UTC"):
        morvane.register_xml("Decided", definition_of(triggers))
        found = morvane.run_times("Decided", moment(window[0]), moment(window[1]))
    assert [t.astimezone(UTC).strftime("%dT%H:%M:%S") for t in found] == [
        e if e.count(":") == 2 else e + ":00" for e in expected]


def test_cost_follows_the_window_not_the_start_boundary():
    # One day of a pattern repeated every minute, begun in 1601 or the day before: the work is
    # the window's, however long ago the repetition began.
    low = int(dt.datetime(2026, 6, 1, tzinfo=UTC).timestamp())

    def best_of_three(start):
        definition = definition_of(daily_trigger(
            start, "<Repetition><Interval>PT1M</Interval><Duration>P1000Y</Duration></Repetition>"))
        best = None
        for _ in range(3):
            began = time.perf_counter()
            times, _ = emulator.trigger_run_times(definition, low, low + 86399)
            took = time.perf_counter() - began
            best = took if best is None else min(best, took)
        assert len(times) == 1440
        return best

    with zone_of_process("Europe/Berlin"):
        recent = best_of_three("2026-05-31T08:00:00")
        ancient = best_of_three("1601-01-01T08:00:00")
    assert ancient < 10 * recent + 0.01, (ancient, recent)
