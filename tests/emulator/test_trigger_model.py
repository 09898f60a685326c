"""The emulator's trigger engine against trigger_model.py, a model written from the documentation,
on random definitions in zones with and without daylight-saving changes."""

import datetime as dt
import os
import sys
from zoneinfo import ZoneInfo

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

if sys.platform == "win32":
    pytest.skip("the emulator stands in for Windows only elsewhere", allow_module_level=True)

from morvane import emulator  # noqa: E402

sys.path.insert(0, os.path.dirname(__file__))
import trigger_model  # noqa: E402
from process_zone import zone_of_process  # noqa: E402

# Each zone with the midnights before its 2026 changes (Lord Howe moves by 30 minutes).
ZONES = {
    "UTC": [dt.datetime(2026, 3, 29), dt.datetime(2026, 7, 1)],
    "Europe/Berlin": [dt.datetime(2026, 3, 29), dt.datetime(2026, 10, 25)],
    "America/New_York": [dt.datetime(2026, 3, 8), dt.datetime(2026, 11, 1)],
    "Australia/Lord_Howe": [dt.datetime(2026, 4, 5), dt.datetime(2026, 10, 4)],
}


# Strategies built once: hypothesis spends more on building a strategy than on drawing from it.
NEAR_DAYS = st.integers(-40, 2)
FAR_DAYS = st.integers(-2000, -41)
MINUTE_OF_DAY = st.integers(60, 210) | st.integers(0, 1439)
NEAR_INTERVAL = st.none() | st.integers(1, 180) | st.integers(181, 31 * 1440)
FAR_INTERVAL = st.integers(60, 31 * 1440)
NEAR_DURATION = st.none() | st.integers(1, 3 * 1440) | st.integers(3 * 1440, 60 * 1440)
FAR_DURATION = st.none() | st.integers(1, 3 * 1440) | st.integers(60 * 1440, 4000 * 1440)
SCHEDULE = st.fixed_dictionaries({
    "kind": st.sampled_from(["time", "daily", "weekly", "monthly", "monthly_dow"]),
    "offset": st.none() | st.none() | st.sampled_from([0, 60, -300, 330, 630]),
    "enabled_text": st.sampled_from([None, "true", "false", "1", "0"]),
    "days_interval": st.integers(1, 5),
    "weeks_interval": st.integers(1, 3),
    "days_of_week": st.sets(st.integers(0, 6), min_size=1),
    "days_of_month": st.sets(st.integers(1, 31) | st.just("Last"), min_size=1, max_size=5),
    "weeks": st.none() | st.sets(st.sampled_from([1, 2, 3, 4, "Last"]), min_size=1),
    "months": st.none() | st.sets(st.integers(1, 12), min_size=1),
})
END_AFTER = st.none() | st.none() | st.integers(0, 60 * 1440)


@st.composite
def triggers(draw, near):
    # Starts from weeks before the change to just after it, often in the small hours it moves;
    # now and then years before, repeated for years (every hour or less often, to keep the model
    # quick), so that patterns begun long ago reach the window. Durations shorter and longer than
    # the gap between starts: longer ones overlap.
    far = draw(st.integers(0, 9)) == 0
    start = near + dt.timedelta(days=draw(FAR_DAYS if far else NEAR_DAYS), minutes=draw(MINUTE_OF_DAY))
    if draw(st.integers(0, 5)) == 0:
        start += dt.timedelta(milliseconds=draw(st.integers(1, 999)))
    interval = draw(FAR_INTERVAL if far else NEAR_INTERVAL)
    end_after = draw(END_AFTER)
    return {
        **draw(SCHEDULE),
        "start": start,
        "end": None if end_after is None else start.replace(microsecond=0) + dt.timedelta(minutes=end_after),
        "interval": interval,
        "duration": None if interval is None else draw(FAR_DURATION if far else NEAR_DURATION),
    }


ZONE_AND_CHANGE = st.sampled_from([(zone, near) for zone, changes in sorted(ZONES.items()) for near in changes])
WINDOW_START = st.integers(-2 * 1440, 3 * 1440)
WINDOW_LENGTH = st.integers(0, 180) | st.integers(0, 3 * 1440)
MAX_COUNT = st.just(0) | st.integers(1, 8)


@st.composite
def cases(draw):
    zone, near = draw(ZONE_AND_CHANGE)
    chosen = [draw(triggers(near)) for _ in range(draw(st.integers(1, 3)))]
    low_wall = near + dt.timedelta(minutes=draw(WINDOW_START))
    return zone, chosen, low_wall, draw(WINDOW_LENGTH) * 60, draw(MAX_COUNT)


@settings(max_examples=400, deadline=dt.timedelta(seconds=10), derandomize=True,
          suppress_health_check=[HealthCheck.too_slow, HealthCheck.data_too_large])
@given(cases())
def test_engine_follows_the_documented_rules(case):
    zone_name, chosen, low_wall, length, max_count = case
    zone = ZoneInfo(zone_name)
    low = int(low_wall.replace(tzinfo=zone).timestamp())
    high = low + length
    definition = ('<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Triggers>'
                  + "".join(trigger_model.trigger_xml(t) for t in chosen)
                  + "</Triggers><Actions><Exec><Command>true</Command></Exec></Actions></Task>")
    expected = trigger_model.run_times(chosen, zone, low, high, max_count)
    with zone_of_process(zone_name):
        found, has_time_triggers = emulator.trigger_run_times(definition, low, high, max_count)
    assert has_time_triggers
    shown = [dt.datetime.fromtimestamp(x, zone).isoformat() for x in sorted(set(found) ^ set(expected))]
    assert found == expected, f"differ at {shown[:6]}"
