"""Run times and next run times as aware local datetimes, in zones with daylight saving time:
each time carries the offset in force at its instant, and the times come out strictly increasing
and within the period however the clocks change inside it."""

import datetime
import os
import time
from zoneinfo import ZoneInfo

import pytest

import morvane
from morvane import emulator

from .definitions import calendar_trigger, task_xml

UTC = datetime.timezone.utc

# Run times come from the service's trigger engine; a service without one answers none.
pytestmark = pytest.mark.skipif(not hasattr(emulator, "trigger_run_times"), reason="needs winemu's trigger engine")


@pytest.fixture
def local_zone(monkeypatch):
    """Makes a zone local time for the module, the service and Python alike, until the test ends."""

    def make_local(zone):
        if not os.path.exists(f"/usr/share/zoneinfo/{zone}"):
            pytest.skip("needs the time zone database")
        monkeypatch.setenv("TZ", zone)
        time.tzset()

    yield make_local
    monkeypatch.undo()
    time.tzset()


@pytest.fixture
def berlin_time(local_zone):
    """Europe/Berlin: +01:00, +02:00 from the last Sunday of March to the last Sunday of October."""
    local_zone("Europe/Berlin")


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


# A daily trigger from 00:00 local time repeated every 30 minutes for 6 hours, on the night of a
# change of the clocks; the period's bounds are instants (given with an offset) or wall times of
# the zone (without one, fold 0); the times expected are every 30 minutes from `first` to `last`.
@pytest.mark.parametrize(
    "zone, start, end, first, last",
    [
        # Berlin, autumn: 02:00 to 03:00 happens twice (+02:00, then +01:00)
        ("Europe/Berlin", "2026-10-24T23:00Z", "2026-10-25T03:00Z", "2026-10-24T23:00Z", "2026-10-25T03:00Z"),
        # ... from inside the second pass (02:15+01:00): no time of the first pass
        ("Europe/Berlin", "2026-10-25T02:15+01:00", "2026-10-25T03:15+01:00", "2026-10-25T01:30Z", "2026-10-25T02:00Z"),
        # ... from inside the first pass to inside the second
        ("Europe/Berlin", "2026-10-25T02:15+02:00", "2026-10-25T02:15+01:00", "2026-10-25T00:30Z", "2026-10-25T01:00Z"),
        # ... bounds on a time of the second pass, to the microsecond
        ("Europe/Berlin", "2026-10-25T02:00+01:00", "2026-10-25T02:00+01:00", "2026-10-25T01:00Z", "2026-10-25T01:00Z"),
        # ... bounds half a second past a time and half a second before one
        ("Europe/Berlin", "2026-10-24T23:00:00.5Z", "2026-10-25T00:29:59.5Z", "2026-10-24T23:30Z", "2026-10-25T00:00Z"),
        # Berlin, spring: 02:00 to 03:00 is skipped; 02:30, read as Python reads it, is 03:30+02:00
        ("Europe/Berlin", "2026-03-29T02:30", "2026-03-29T05:00", "2026-03-29T01:30Z", "2026-03-29T03:00Z"),
        # New York, autumn: 01:00 to 02:00 happens twice (-04:00, then -05:00)
        ("America/New_York", "2026-11-01T01:15-05:00", "2026-11-01T03:00-05:00",
         "2026-11-01T06:30Z", "2026-11-01T08:00Z"),
        ("America/New_York", "2026-11-01T00:00", "2026-11-01T01:45-04:00", "2026-11-01T04:00Z", "2026-11-01T05:30Z"),
        # New York, spring: 02:00 to 03:00 is skipped
        ("America/New_York", "2026-03-08T02:30", "2026-03-08T04:00", "2026-03-08T07:30Z", "2026-03-08T08:00Z"),
        # Lord Howe, autumn: the clocks go back half an hour, so 01:30 comes twice in a row
        ("Australia/Lord_Howe", "2026-04-04T13:00Z", "2026-04-04T16:00Z", "2026-04-04T13:00Z", "2026-04-04T16:00Z"),
    ],
)
def test_run_times_across_clock_changes_are_each_instant_once_within_the_period(local_zone, zone, start,
                                                                              end, first, last):
    local_zone(zone)
    register_daily("Night", "2026-01-01T00:00:00", interval="PT30M", duration="PT6H")
    local = ZoneInfo(zone)

    def bound(text):
        moment = datetime.datetime.fromisoformat(text)
        return moment.replace(tzinfo=local) if moment.tzinfo is None else moment.astimezone(local)

    found = morvane.run_times("Night", bound(start), bound(end))
    step = datetime.timedelta(minutes=30)
    expected, moment = [], datetime.datetime.fromisoformat(first)
    while moment <= datetime.datetime.fromisoformat(last):
        expected.append(moment)
        moment += step
    assert [moment.astimezone(UTC) for moment in found] == expected
    assert [moment.utcoffset() for moment in found] == [moment.astimezone(local).utcoffset() for moment in found]


def test_more_run_times_than_one_answer_of_the_service_holds_are_all_returned(local_zone):
    local_zone("UTC")
    # A trigger every minute for two years: 1,051,200 times, more than the service hands out at once.
    register_daily("Busy", "2026-01-01T00:00:00", interval="PT1M", duration="P1D")
    start = datetime.datetime(2026, 1, 1, tzinfo=UTC)
    found = morvane.run_times("Busy", start, start + datetime.timedelta(days=730) - datetime.timedelta(seconds=1))
    assert len(found) == 730 * 1440
    assert found[-1] == start + datetime.timedelta(days=730, minutes=-1)
    assert all(later - earlier == datetime.timedelta(minutes=1) for earlier, later in zip(found, found[1:]))
