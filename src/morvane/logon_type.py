"""LogonType: how the account that register_task names logs on to run the task."""

from __future__ import annotations

import enum
from typing import TYPE_CHECKING

if TYPE_CHECKING:
    from morvane.definition.principal import Principal

__all__ = ["LogonType", "is_service_account", "principal_logon_type"]

# The accounts that run without a password (TASK_LOGON_SERVICE_ACCOUNT), by name or SID.
_SERVICE_ACCOUNTS = {"system", "local service", "network service", "s-1-5-18", "s-1-5-19", "s-1-5-20"}


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


def is_service_account(account: str) -> bool:
    """Whether the account is SYSTEM, LOCAL SERVICE or NETWORK SERVICE, by name (with or without
    its domain, ``NT AUTHORITY\\SYSTEM``) or by SID, as schtasks takes them."""
    return account.rsplit("\\", 1)[-1].lower() in _SERVICE_ACCOUNTS


def principal_logon_type(principal: Principal) -> LogonType:
    """The logon type a definition's principal stands for: GROUP for a group, the one it names,
    SERVICE_ACCOUNT for a service account (the service writes no logon type for one), else NONE
    (left to the service)."""
    if principal.group_id is not None:
        return LogonType.GROUP
    if principal.logon_type is not None:
        return LogonType[principal.logon_type.name]
    if principal.user_id is not None and is_service_account(principal.user_id):
        return LogonType.SERVICE_ACCOUNT
    return LogonType.NONE
