"""The command line's account options for "register" and "create": --run-as USER (schtasks /RU),
--logon-type, and the account's password from an environment variable, standard input or a prompt
without echo (schtasks /RP *); never from an argument."""

from __future__ import annotations

import argparse
from typing import Any

from morvane.logon_type import LogonType, is_service_account
from morvane.password_input import PasswordUnavailable, read_password

__all__ = ["PasswordUnavailable", "add_run_as_options", "run_as_keywords"]


def _logon_type(text: str) -> LogonType:
    try:
        return LogonType[text.upper().replace("-", "_")]
    except KeyError:
        raise argparse.ArgumentTypeError(
            f"not a logon type: {text!r} (one of {', '.join(member.name for member in LogonType)})"
        ) from None


def add_run_as_options(parser: argparse.ArgumentParser) -> None:
    parser.add_argument("--run-as", "--ru", metavar="USER",
                        help="(/RU) the account the task runs as: a user, SYSTEM, 'LOCAL SERVICE', a group")
    parser.add_argument("--logon-type", metavar="TYPE", type=_logon_type,
                        help="how it logs on: " + ", ".join(member.name for member in LogonType)
                        + " (default: PASSWORD for a user, SERVICE_ACCOUNT for SYSTEM and the service accounts)")
    source = parser.add_mutually_exclusive_group()
    source.add_argument("--run-as-password-env", metavar="VAR",
                        help="read the account's password from the environment variable VAR")
    source.add_argument("--run-as-password-stdin", action="store_true",
                        help="read the account's password from the first line of standard input")


def run_as_keywords(arguments: argparse.Namespace) -> dict[str, Any]:
    """register_task's user, password and logon_type from the options; the password is read (or
    asked for) only when the logon type takes one. Raises ValueError for options that do not go
    together, PasswordUnavailable when no password could be read."""
    user: str | None = arguments.run_as
    logon_type: LogonType | None = arguments.logon_type
    told_where = arguments.run_as_password_env is not None or arguments.run_as_password_stdin
    if user is None:
        if told_where:
            raise ValueError("a password is read only for the account that --run-as names")
        return {} if logon_type is None else {"logon_type": logon_type}
    if logon_type is None:
        logon_type = LogonType.SERVICE_ACCOUNT if is_service_account(user) else LogonType.PASSWORD
    if arguments.run_as_password_stdin and getattr(arguments, "file", None) == "-":
        raise ValueError("standard input cannot hold both the definition and the password")
    wanted = logon_type.needs_password or (logon_type is LogonType.INTERACTIVE_TOKEN_OR_PASSWORD and told_where)
    password = None
    if wanted:
        password = read_password(environment_variable=arguments.run_as_password_env,
                                 from_stdin=arguments.run_as_password_stdin, prompt=f"Password for {user}: ")
    return {"user": user, "password": password, "logon_type": logon_type}
