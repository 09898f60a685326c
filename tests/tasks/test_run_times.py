"""Run times and next run times as aware local datetimes, in a zone with daylight saving time:
each time carries the offset in force at its instant, and a local time that occurs twice is its
first occurrence."""

import datetime
import os
import time

import pytest

import morvane
from morvane import emulator

from .definitions import calendar_trigger, task_xml

UTC = datetime.timezone.utc

# Run times come from the service's trigger engine; a service without one answers none.
pytestmark = pytest.mark.skipif(not hasattr(emulator, "trigger_run_times"), reason="needs winemu's trigger engine")


@pytest.fixture
def berlin_time(monkeypatch):
    """Local time is Europe/Berlin's (+01:00, +02:00 from the last Sunday of March to the last
    Sunday of October) for the module, the service and Python alike."""
    if not os.path.exists("/usr/share/zoneinfo/Europe/Berlin"):
        pytest.skip("needs the time zone database")
    monkeypatch.setenv("TZ", "Europe/Berlin")
    time.tzset()
    yield
    monkeypatch.undo()
    time.tzset()


def offset_hours(moment):
    return moment.utcoffset() / datetime.timedelta(hours=1)


def register_daily(name, start, **repetition):
    morvane.register_xml(name, task_xml(triggers=calendar_trigger(start, **repetition)))


@pytest.mark.parametrize(
    "trigger_start, repetition, period, max_count, expected",
    [
        # autumn: 02:30 on 25 October happens twice and is its first occurrence, at +02:00
        ("2026-10-01T02:30:00", {}, ("2026-10-24T00:00:00+00:00", "2026-10-27T00:00:00+00:00"), None,
         ["2026-10-24T02:30:00+02:00", "2026-10-25T02:30:00+02:00", "2026-10-26T02:30:00+01:00"]),
        # the period in another zone is the same instants; max_count keeps the first ones
        ("2026-10-01T02:30:00", {}, ("2026-10-24T05:00:00+05:00", "2026-10-30T00:00:00-07:00"), 2,
         ["2026-10-24T02:30:00+02:00", "2026-10-25T02:30:00+02:00"]),
        # spring: hourly runs across the night that loses an hour
        ("2026-03-01T00:00:00", {"interval": "PT1H", "duration": "PT5H"},
         ("2026-03-29T00:00:00+01:00", "2026-03-29T04:30:00+02:00"), None,
         ["2026-03-29T00:00:00+01:00", "2026-03-29T01:00:00+01:00", "2026-03-29T03:00:00+02:00",
          "2026-03-29T04:00:00+02:00"]),
    ],
    ids=["autumn", "other-zone-period", "spring"],
)
def test_run_times_are_local_with_the_offset_of_their_instant(berlin_time, trigger_start, repetition, period,
                                                             max_count, expected):
    register_daily("Daily", trigger_start, **repetition)
    start, end = (datetime.datetime.fromisoformat(text) for text in period)
    found = morvane.run_times("Daily", start, end, max_count=max_count)
    assert [moment.isoformat() for moment in found] == expected
    # As datetime.astimezone() shows local time: the same offset, and the zone's abbreviation.
    assert [(moment.utcoffset(), moment.tzname()) for moment in found] == [
        (moment.astimezone().utcoffset(), moment.astimezone().tzname()) for moment in found]


def test_no_time_triggers_no_run_times_and_next_run_time(berlin_time):
    morvane.register_xml("Manual", task_xml())
    start = datetime.datetime(2026, 1, 1, tzinfo=UTC)
    assert morvane.run_times("Manual", start, start + datetime.timedelta(days=400)) == []
    assert morvane.task_info("Manual").next_run_time is None

    register_daily("Daily", "2026-01-01T02:30:00")
    next_run = morvane.task_info("Daily").next_run_time
    now = datetime.datetime.now(UTC)
    assert now < next_run <= now + datetime.timedelta(days=1)
    assert (next_run.hour, next_run.minute, offset_hours(next_run)) == (2, 30, offset_hours(next_run.astimezone()))
