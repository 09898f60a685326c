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
        super().__init__(message, hresult, operation)

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
