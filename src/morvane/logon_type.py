"""LogonType: how the account that register_task names logs on to run the task."""

from __future__ import annotations

import enum

__all__ = ["LogonType"]


class LogonType(enum.IntEnum):
    """The Task Scheduler's TASK_LOGON_TYPE, with its values.

    ``NONE`` leaves it to the definition's principal; ``PASSWORD`` runs with the account's password
    (checked when the task is registered); ``S4U`` runs without one, with no network access;
    ``INTERACTIVE_TOKEN`` only while the account is logged on; ``GROUP`` as any logged-on member of
    the group named; ``SERVICE_ACCOUNT`` as SYSTEM, LOCAL SERVICE or NETWORK SERVICE (no password);
    ``INTERACTIVE_TOKEN_OR_PASSWORD`` with the password when given, else while logged on.

    morvane.definition.LogonType names the four of them that a definition's XML spells
    (Principal/LogonType), by those spellings: the two describe the same thing for different readers.
    """

    NONE = 0
    PASSWORD = 1
    S4U = 2
    INTERACTIVE_TOKEN = 3
    GROUP = 4
    SERVICE_ACCOUNT = 5
    INTERACTIVE_TOKEN_OR_PASSWORD = 6

    @property
    def needs_password(self) -> bool:
        """Whether registering with this logon type takes the account's password."""
        return self is LogonType.PASSWORD
