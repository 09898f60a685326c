"""Passwords for the command line: asked at a prompt without echo, or read from an environment
variable or from standard input when the user says so; never taken from an argument, where other
users of the computer could read it (in the process list) and the shell would keep it (in its
history)."""

from __future__ import annotations

import os
import sys

__all__ = ["PasswordUnavailable", "read_password"]


class PasswordUnavailable(Exception):
    """No password could be read: the variable named is not set, standard input is empty, or there
    is no terminal to ask at. The text says which, and never holds a password."""


def read_password(*, environment_variable: str | None, from_stdin: bool, prompt: str) -> str:
    """The password: the value of `environment_variable` when given; else the first line of
    standard input (without its line end) when `from_stdin`; else asked at the terminal with
    `prompt`, without echo."""
    if environment_variable is not None:
        value = os.environ.get(environment_variable)
        if value is None:
            raise PasswordUnavailable(f"the environment variable {environment_variable} is not set")
        return value
    if from_stdin:
        line = sys.stdin.readline()
        if not line:
            raise PasswordUnavailable("standard input holds no password")
        return line.removesuffix("\n").removesuffix("\r")
    import getpass  # only the verbs that ask pay for it

    try:
        return getpass.getpass(prompt)
    except EOFError:
        raise PasswordUnavailable("no password was given at the prompt") from None
