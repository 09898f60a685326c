"""Who may register a task for which account, written from the documentation of
ITaskFolder::RegisterTaskDefinition and TASK_LOGON_TYPE alone (with the choices the documentation
leaves open said where they are made), to be compared with the emulated service."""

from __future__ import annotations

from morvane import LogonType

OK = 0
E_ACCESSDENIED = 0x80070005
E_INVALIDARG = 0x80070057
ERROR_LOGON_FAILURE = 0x8007052E  # LogonUser: "The user name or password is incorrect."
ERROR_NONE_MAPPED = 0x80070534  # LookupAccountName: "No mapping between account names and security IDs"

# The accounts of the table: the caller itself, another local user, the two service accounts that
# stand for all three, the local Users group, and a name no account has.
SERVICE_ACCOUNTS = {"SYSTEM", "LOCAL SERVICE"}
GROUPS = {"Users"}


def expected_answer(*, caller_is_admin: bool, account: str, logon_type: LogonType,
                    password: str | None, right_password: bool) -> int:
    """What RegisterTask answers. account is "own", "other", "SYSTEM", "LOCAL SERVICE", "Users"
    or "unknown"; password None is none given."""
    if account == "unknown":
        return ERROR_NONE_MAPPED
    service = account in SERVICE_ACCOUNTS
    group = account in GROUPS
    # The service accounts run as such whatever else was asked, but a group logon names a group.
    effective = LogonType.SERVICE_ACCOUNT if service and logon_type != LogonType.GROUP else logon_type
    if (effective == LogonType.GROUP) != group:
        return E_INVALIDARG  # chosen: the documentation names no code for a mismatch
    if effective == LogonType.SERVICE_ACCOUNT and not service:
        return E_INVALIDARG
    own = account == "own" or group  # the caller is a member of Users
    if not own and not caller_is_admin:
        return E_ACCESSDENIED
    if effective == LogonType.SERVICE_ACCOUNT and password is not None:
        return E_INVALIDARG  # "the password must be an empty VARIANT value"
    checks_password = effective == LogonType.PASSWORD or (
        effective == LogonType.INTERACTIVE_TOKEN_OR_PASSWORD and password is not None)
    if checks_password and (password is None or not right_password):
        return ERROR_LOGON_FAILURE
    return OK


def stored_logon_type(account: str, logon_type: LogonType) -> str | None:
    """The LogonType element of the stored definition: none for the group and service logons."""
    if account in SERVICE_ACCOUNTS or logon_type == LogonType.GROUP:
        return None
    if logon_type == LogonType.NONE:
        return "InteractiveToken"
    return {
        LogonType.PASSWORD: "Password",
        LogonType.S4U: "S4U",
        LogonType.INTERACTIVE_TOKEN: "InteractiveToken",
        LogonType.INTERACTIVE_TOKEN_OR_PASSWORD: "InteractiveTokenOrPassword",
    }[logon_type]


def registered_logon_type(account: str, logon_type: LogonType) -> LogonType:
    """The TASK_LOGON_TYPE of the registered principal (IPrincipal::get_LogonType), for a
    registration that succeeded: a service account's is SERVICE_ACCOUNT whatever was asked, NONE
    falls to INTERACTIVE_TOKEN (the schema's default LogonType), any other is the one asked."""
    if account in SERVICE_ACCOUNTS:
        return LogonType.SERVICE_ACCOUNT
    return LogonType.INTERACTIVE_TOKEN if logon_type == LogonType.NONE else logon_type
