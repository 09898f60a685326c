"""The simple values of the task schema: how a field is checked when a model is made, and how
durations, date-times and booleans are written and read.

A refusal is a ValueError (a TypeError for a value of the wrong type) whose text names the
class and the field, ``"DailyTrigger.days_interval: must be between 1 and 365"``. The bounds are
the schema's, as the service checks them: what the schema leaves open stays the service's
answer.
"""

from __future__ import annotations

import datetime
import re
from typing import Any

# Characters XML 1.0 cannot hold, even escaped: a definition holding one cannot be written.
_NOT_XML = re.compile("[^\t\n\r\x20-\ud7ff\ue000-\ufffd\U00010000-\U0010ffff]")
_BLANKS = " \t\r\n"
_GUID = re.compile(r"\{[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12}\}\Z")

# pathType: at most 260 characters (MAX_PATH).
LONGEST_PATH = 260
# The schema's xs:duration bounds: repetition and restart intervals, idle durations.
ONE_MINUTE = datetime.timedelta(minutes=1)
THIRTY_ONE_DAYS = datetime.timedelta(days=31)


def refuse(owner: object, field: str, problem: str) -> ValueError:
    return ValueError(f"{type(owner).__name__}.{field}: {problem}")


def wrong_type(owner: object, field: str, expected: str, value: object) -> TypeError:
    return TypeError(f"{type(owner).__name__}.{field}: must be {expected}, not {type(value).__name__}")


def check_text(owner: object, field: str, value: object, *, non_empty: bool = False, longest: int = 0) -> None:
    """A str that XML can hold; non_empty: with more than blanks; longest: at most that many characters."""
    if not isinstance(value, str):
        raise wrong_type(owner, field, "a str", value)
    if _NOT_XML.search(value):
        raise refuse(owner, field, "holds a character that XML cannot hold")
    if non_empty and not value.strip(_BLANKS):
        raise refuse(owner, field, "must not be empty")
    if longest and len(value) > longest:
        raise refuse(owner, field, f"must be at most {longest} characters long")


def check_optional_text(owner: object, field: str, value: object, *, non_empty: bool = False, longest: int = 0) -> None:
    if value is not None:
        check_text(owner, field, value, non_empty=non_empty, longest=longest)


def check_guid(owner: object, field: str, value: object) -> None:
    check_text(owner, field, value)
    assert isinstance(value, str)
    if not _GUID.match(value.strip(_BLANKS)):
        raise refuse(owner, field, "must be a GUID in braces, {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}")


def check_bool(owner: object, field: str, value: object) -> None:
    if type(value) is not bool:
        raise wrong_type(owner, field, "a bool", value)


def check_integer(owner: object, field: str, value: object, low: int, high: int) -> None:
    if type(value) is not int:
        raise wrong_type(owner, field, "an int", value)
    if not low <= value <= high:
        raise refuse(owner, field, f"must be between {low} and {high}")


def check_type(owner: object, field: str, value: object, kind: type) -> None:
    if type(value) is not kind:
        raise wrong_type(owner, field, f"a {kind.__name__}", value)


def check_duration(
    owner: object,
    field: str,
    value: object,
    low: datetime.timedelta | None = None,
    high: datetime.timedelta | None = None,
) -> None:
    """A timedelta, never negative (no span of the schema is), within the schema's bounds."""
    if type(value) is not datetime.timedelta:
        raise wrong_type(owner, field, "a datetime.timedelta", value)
    if value < (low or datetime.timedelta(0)):
        raise refuse(owner, field, f"must be at least {format_duration(low)}" if low else "must not be negative")
    if high is not None and value > high:
        raise refuse(owner, field, f"must be at most {format_duration(high)}")


def check_optional_duration(
    owner: object,
    field: str,
    value: object,
    low: datetime.timedelta | None = None,
    high: datetime.timedelta | None = None,
) -> None:
    if value is not None:
        check_duration(owner, field, value, low, high)


_LARGEST_OFFSET = datetime.timedelta(hours=14)


def check_moment(owner: object, field: str, value: object) -> None:
    """A datetime: naive (local time, as the schema has it) or aware with an offset the schema
    writes, whole minutes up to 14 hours."""
    if not isinstance(value, datetime.datetime):
        raise wrong_type(owner, field, "a datetime.datetime", value)
    offset = value.utcoffset()
    if offset is not None and (offset % datetime.timedelta(minutes=1) or abs(offset) > _LARGEST_OFFSET):
        raise refuse(owner, field, "its offset from UTC must be whole minutes, at most 14 hours")


def check_optional_moment(owner: object, field: str, value: object) -> None:
    if value is not None:
        check_moment(owner, field, value)


def check_optional(owner: object, field: str, value: object, kind: type) -> None:
    if value is not None and type(value) is not kind:
        raise wrong_type(owner, field, f"a {kind.__name__} or None", value)


def as_tuple(owner: object, field: str, value: object) -> tuple[Any, ...]:
    """A list or tuple given for a field that holds a sequence, as a tuple."""
    if type(value) is tuple:
        return value
    if isinstance(value, (list, tuple)):
        return tuple(value)
    raise wrong_type(owner, field, "a tuple or list", value)


# ---- writing and reading ----------------------------------------------------------------------


def format_duration(value: datetime.timedelta) -> str:
    """An xs:duration: whole days as PnD, anything else in hours, minutes and seconds (PT72H)."""
    days, seconds, microseconds = value.days, value.seconds, value.microseconds
    if not seconds and not microseconds:
        return f"P{days}D" if days else "PT0S"
    hours, rest = divmod(seconds, 3600)
    minutes, seconds = divmod(rest, 60)
    hours += days * 24
    text = "PT"
    if hours:
        text += f"{hours}H"
    if minutes:
        text += f"{minutes}M"
    if microseconds:
        text += f"{seconds}.{microseconds:06d}".rstrip("0") + "S"
    elif seconds:
        text += f"{seconds}S"
    return text


_DURATION = re.compile(
    r"P(?:(\d+)Y)?(?:(\d+)M)?(?:(\d+)D)?(?:T(?=\d)(?:(\d+)H)?(?:(\d+)M)?(?:(\d+)(?:\.(\d+))?S)?)?\Z"
)


def parse_duration(text: str) -> datetime.timedelta:
    """An xs:duration as the service reads it: a year is 365 days and a month 30, fractions of a
    second beyond microseconds are dropped. ValueError for any other text."""
    found = _DURATION.match(text.strip(_BLANKS))
    if not found or found.group(0) == "P":
        raise ValueError(f"not a duration: {text!r}")
    years, months, days, hours, minutes, seconds, fraction = found.groups()
    total_days = int(years or 0) * 365 + int(months or 0) * 30 + int(days or 0)
    microseconds = int((fraction or "0")[:6].ljust(6, "0"))
    try:
        return datetime.timedelta(
            days=total_days,
            hours=int(hours or 0),
            minutes=int(minutes or 0),
            seconds=int(seconds or 0),
            microseconds=microseconds,
        )
    except OverflowError:
        raise ValueError(f"a duration longer than Python's timedelta holds: {text!r}") from None


def format_moment(value: datetime.datetime) -> str:
    """An xs:dateTime: naive as local time, aware with its offset, Z for UTC as Windows writes it."""
    text = value.isoformat()
    return text[:-6] + "Z" if text.endswith("+00:00") else text


def parse_moment(text: str) -> datetime.datetime:
    """An xs:dateTime: a naive datetime without a zone, an aware one with it (Z or an offset);
    fractions of a second beyond microseconds are dropped."""
    return datetime.datetime.fromisoformat(text.strip(_BLANKS))


def format_bool(value: bool) -> str:
    return "true" if value else "false"


def parse_bool(text: str) -> bool:
    word = text.strip(_BLANKS)
    if word in ("true", "1"):
        return True
    if word in ("false", "0"):
        return False
    raise ValueError(f"not a boolean: {text!r}")


def parse_integer(text: str) -> int:
    return int(text.strip(_BLANKS))
