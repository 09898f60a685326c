"""The exit statuses of the morvane command line, and which failure gives which."""

from __future__ import annotations

import enum

from morvane.errors import TaskPermissionError, TaskSchedulerError

__all__ = ["ExitStatus", "status_of"]


class ExitStatus(enum.IntEnum):
    """What the command line's exit status tells a script."""

    OK = 0
    #: ``morvane exists``: the task is not registered (like ``test``).
    ABSENT = 1
    #: Bad arguments, a file that cannot be read or decoded, or a name or definition that the
    #: scheduler refuses as invalid (argparse exits with 2 on usage errors as well).
    BAD_INPUT = 2
    #: The task, or a folder on its path, does not exist.
    NOT_FOUND = 3
    #: The scheduler denied access (TaskPermissionError); on Windows, often a missing elevation.
    ACCESS_DENIED = 4
    #: Any other failure of the scheduler.
    SCHEDULER_FAILURE = 5


# ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND as HRESULTs: a missing task, a missing folder.
_NOT_FOUND = {0x80070002, 0x80070003}
# E_INVALIDARG, ERROR_INVALID_NAME, and the service's refusals of a definition: SCHED_E_
# UNEXPECTEDNODE, NAMESPACE, INVALIDVALUE, MISSINGNODE, MALFORMEDXML, TOO_MANY_NODES.
_INVALID_INPUT = {0x80070057, 0x8007007B, *range(0x80041316, 0x8004131C)}
# The XML parser's own codes (XML_E_*), which the service may pass through.
_XML_PARSER_CODES = range(0xC00CE000, 0xC00CF000)


def status_of(error: TaskSchedulerError) -> ExitStatus:
    """The exit status for a failure of the scheduler."""
    if isinstance(error, TaskPermissionError):
        return ExitStatus.ACCESS_DENIED
    if error.hresult in _NOT_FOUND:
        return ExitStatus.NOT_FOUND
    if error.hresult in _INVALID_INPUT or error.hresult in _XML_PARSER_CODES:
        return ExitStatus.BAD_INPUT
    return ExitStatus.SCHEDULER_FAILURE
