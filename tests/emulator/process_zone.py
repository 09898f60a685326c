"""The process's time zone set for a block, as the emulated service reads it (TZ and tzset)."""

import contextlib
import os
import time
from zoneinfo import ZoneInfo


@contextlib.contextmanager
def zone_of_process(name):
    old = os.environ.get("TZ")
    os.environ["TZ"] = name
    time.tzset()
    try:
        yield ZoneInfo(name)
    finally:
        if old is None:
            os.environ.pop("TZ", None)
        else:
            os.environ["TZ"] = old
        time.tzset()
