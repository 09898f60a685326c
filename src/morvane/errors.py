"""The exceptions that morvane raises when the Task Scheduler refuses or fails a call."""

from __future__ import annotations

__all__ = ["TaskPermissionError", "TaskSchedulerError"]


class TaskSchedulerError(Exception):
    """A call of the Task Scheduler failed.

    ``message`` is the system's text for the failure, ``hresult`` its HRESULT code as an unsigned
    32-bit number (``0x80070002`` for a missing file) and ``operation`` the name of the platform
    call that failed, such as ``"GetTask"``.
    """

    def __init__(self, message: str, hresult: int, operation: str) -> None:
        # Named, not found through super(): on a free-threaded CPython 3.13 every super() lookup
        # takes the interpreter's one type lock, and threads that raise these in a loop hand it
        # to one another; a daemon thread handed it while the interpreter exits never attaches
        # again and keeps it, and the exit, which looks up types too, waits for it for ever.
        Exception.__init__(self, message, hresult, operation)
        # The service describes a refused definition by its position alone, "(1,7):Task:", and
        # leaves the rest to the code: a note says in words what the code means. The text of
        # the exception stays the service's, as callers match it.
        if isinstance(message, str) and message.startswith("(") and isinstance(hresult, int):
            from morvane.definition_refusals import gives_position_only, meaning

            if gives_position_only(message) and (explained := meaning(hresult)):
                self.add_note(f"0x{hresult:08X}: {explained}")

    @property
    def message(self) -> str:
        message: str = self.args[0]
        return message

    @property
    def hresult(self) -> int:
        hresult: int = self.args[1]
        return hresult

    @property
    def operation(self) -> str:
        operation: str = self.args[2]
        return operation

    def __str__(self) -> str:
        # The message already ends with the code, e.g. "File not found. (0x80070002)".
        return f"{self.operation} failed: {self.message}"

    def __repr__(self) -> str:
        return f"{type(self).__name__}({self.message!r}, {self.hresult:#010x}, {self.operation!r})"


class TaskPermissionError(TaskSchedulerError):
    """The Task Scheduler refused the call: access denied (``E_ACCESSDENIED``, 0x80070005)."""
