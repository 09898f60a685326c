"""The exit statuses of the morvane command line, and which failure gives which."""

from __future__ import annotations

import enum

from morvane.definition_refusals import SCHEDULER_REFUSALS, is_xml_parser_code
from morvane.errors import TaskPermissionError, TaskSchedulerError

__all__ = ["ExitStatus", "status_of"]


class ExitStatus(enum.IntEnum):
    """What the command line's exit status tells a script."""

    OK = 0
    #: ``morvane exists``: the task is not registered (like ``test``).
    ABSENT = 1
    #: Bad arguments, a file that cannot be read or decoded, an empty definition, a task library
    #: that is not private, or a name or definition that the scheduler refuses as invalid
    #: (argparse exits with 2 on usage errors as well).
    BAD_INPUT = 2
    #: The task, or a folder on its path, does not exist.
    NOT_FOUND = 3
    #: The scheduler denied access (TaskPermissionError); on Windows, often a missing elevation.
    ACCESS_DENIED = 4
    #: Any other failure of the scheduler.
    SCHEDULER_FAILURE = 5
    #: ``morvane run``: the service started nothing (a disabled task, one that may not be started
    #: on demand, or one with an instance running that runs no second one), though it answered
    #: with success.
    NOT_STARTED = 6
    #: ``morvane mkdir``, ``create``, ``register --create-only``: the folder or the task, or
    #: another of its name, exists already.
    EXISTS = 7
    #: ``morvane rmdir``: the folder holds tasks or folders.
    NOT_EMPTY = 8
    #: ``morvane run --wait``: the run ended with a result other than 0 (its last action's exit
    #: code, or the service's code for a run that was stopped or could not start an action).
    RUN_FAILED = 9
    #: ``morvane run --wait --timeout S``: the run had not ended after S seconds (it runs on).
    TIMED_OUT = 10
    #: The computer (``--computer``'s, or this one's service) could not be reached: no server of
    #: that name, an address no server has, or the connection to it lost.
    UNREACHABLE = 11
    #: ``--user``: the computer refused the connection's logon (a wrong password, an unknown
    #: account).
    LOGON_FAILED = 12


# ERROR_FILE_NOT_FOUND and ERROR_PATH_NOT_FOUND as HRESULTs: a missing task, a missing folder;
# ERROR_DIRECTORY: no folder of that name (a task's name given where a folder's belongs).
_NOT_FOUND = {0x80070002, 0x80070003, 0x8007010B}
_ALREADY_EXISTS = 0x800700B7
_DIR_NOT_EMPTY = 0x80070091
# E_INVALIDARG, ERROR_INVALID_NAME, ERROR_FILENAME_EXCED_RANGE (a name longer than the service
# takes), and the service's refusals of a definition (SCHED_E_MISSINGNODE and its kind).
_INVALID_INPUT = {0x80070057, 0x8007007B, 0x800700CE, *SCHEDULER_REFUSALS}
# RPC_S_SERVER_UNAVAILABLE, RPC_S_INVALID_NET_ADDR, RPC_S_CALL_FAILED: no server answered there.
_UNREACHABLE = {0x800706BA, 0x800706AB, 0x800706BE}
# ERROR_LOGON_FAILURE and ERROR_NONE_MAPPED from Connect: the connection's logon was refused (a
# task's run-as account refused at registration is a failure of the registration).
_LOGON_FAILURE = 0x8007052E
_NONE_MAPPED = 0x80070534


def status_of(error: TaskSchedulerError) -> ExitStatus:
    """The exit status for a failure of the scheduler."""
    if isinstance(error, TaskPermissionError):
        return ExitStatus.ACCESS_DENIED
    if error.hresult in _UNREACHABLE:
        return ExitStatus.UNREACHABLE
    if error.operation == "Connect" and error.hresult in (_LOGON_FAILURE, _NONE_MAPPED):
        return ExitStatus.LOGON_FAILED
    if error.hresult in _NOT_FOUND:
        return ExitStatus.NOT_FOUND
    if error.hresult == _ALREADY_EXISTS:
        return ExitStatus.EXISTS
    if error.hresult == _DIR_NOT_EMPTY:
        return ExitStatus.NOT_EMPTY
    if error.hresult in _INVALID_INPUT or is_xml_parser_code(error.hresult):
        return ExitStatus.BAD_INPUT
    return ExitStatus.SCHEDULER_FAILURE
