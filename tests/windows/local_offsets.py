"""Prints the table that the Windows driver checks the local offsets of its C runtime against:
instants around both daylight-saving changes of a zone in two years, each with the UTC offset
that zoneinfo gives there, as "change<TAB>utc_seconds<TAB>offset_seconds" lines.

Usage: local_offsets.py ZONE (an IANA name, the TZ that Wine runs the driver in).
"""

import sys
from datetime import datetime, timezone
from zoneinfo import ZoneInfo

# Years whose rules Windows and the tz database agree on; 2040 lies beyond a 32-bit time_t.
YEARS = (2026, 2040)
# Seconds from the change: the days around it, the hour on each side, the second on each side.
STEPS = (-86_400, -3_601, -3_600, -1_800, -1, 0, 1, 1_800, 3_599, 3_600, 86_400)


def offset(zone: ZoneInfo, seconds: int) -> int:
    utc = datetime.fromtimestamp(seconds, timezone.utc)
    return int(utc.astimezone(zone).utcoffset().total_seconds())


def changes(zone: ZoneInfo, year: int) -> list[int]:
    """The first instants of the year that have another offset than the instant before."""
    found = []
    start = int(datetime(year, 1, 1, tzinfo=timezone.utc).timestamp())
    end = int(datetime(year + 1, 1, 1, tzinfo=timezone.utc).timestamp())
    for hour in range(start, end, 3_600):
        if offset(zone, hour) == offset(zone, hour + 3_600):
            continue
        low, high = hour, hour + 3_600  # the offset at low differs from the offset at high
        while high - low > 1:
            middle = (low + high) // 2
            low, high = (middle, high) if offset(zone, middle) == offset(zone, low) else (low, middle)
        found.append(high)
    return found


def main() -> None:
    zone = ZoneInfo(sys.argv[1])
    for year in YEARS:
        found = changes(zone, year)
        if len(found) != 2:
            sys.exit(f"{zone.key} changes its offset {len(found)} times in {year}, not twice")
        for change in found:
            label = f"{datetime.fromtimestamp(change, timezone.utc):%Y-%m-%d %H:%M} UTC"
            for step in STEPS:
                print(f"{label}\t{change + step}\t{offset(zone, change + step)}")


if __name__ == "__main__":
    main()
