"""What Wine's Task Scheduler service lacks, in one place: the tests that pass against Windows' own
service and fail against Wine's only, each with what Wine answers. Under Wine they are expected
failures (strict: a test that starts to pass says that Wine has caught up and its line can go)."""

import functools
import sys

import pytest

# Wine's answers (its dlls/taskschd): E_NOTIMPL (0x80004001) from IRegisteredTask::RunEx and
# get_LastTaskResult, and from IRegisteredTaskCollection::get_Count; its get_Xml writes the
# definition anew from what it keeps, without the Exec action's command.
RUN_EX = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTask::RunEx"
LAST_RESULT = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTask::get_LastTaskResult"
COUNT = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTaskCollection::get_Count"
XML = "Wine's service regenerates the definition in get_Xml and drops the Exec action's command"

# Test id (path from the rootdir, then the test's name, parameters included) -> the reason.
EXPECTED_FAILURES: dict[str, str] = {}


@functools.cache
def under_wine() -> bool:
    if sys.platform != "win32":
        return False
    import ctypes

    return hasattr(ctypes.WinDLL("ntdll"), "wine_get_version")


def mark_expected_failures(items) -> None:
    if not under_wine():
        return
    for item in items:
        reason = EXPECTED_FAILURES.get(item.nodeid)
        if reason is not None:
            item.add_marker(pytest.mark.xfail(reason=reason, strict=True))
