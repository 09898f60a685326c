"""Scheduler(computer): the names of this computer connect to it, a name no computer answers and an
address no server can have are refused with Connect's codes, and credentials given in part never
reach the service. Runs wherever morvane runs: against winemu, Windows' service or Wine's."""

import socket

import pytest

import morvane
from morvane import TaskSchedulerError

# (name, credentials) -> "local" for a connection to this computer, "ValueError", or the HRESULT.
CASES = {
    "absent": (None, {}, "local"),
    "empty": ("", {}, "local"),
    "dot": (".", {}, "local"),
    "localhost": ("localhost", {}, "local"),
    "own name": (socket.gethostname(), {}, "local"),
    "no such computer": ("NOSUCHHOST.invalid", {}, 0x800706BA),  # RPC_S_SERVER_UNAVAILABLE
    "unspecified address": ("0.0.0.0", {}, 0x800706AB),  # RPC_S_INVALID_NET_ADDR
    "user without password": ("NOSUCHHOST.invalid", {"user": "someone"}, "ValueError"),
    "password without user": (None, {"password": "secret"}, "ValueError"),
}


@pytest.mark.parametrize("case", list(CASES))
def test_connect_answers_each_kind_of_name(case):
    computer, credentials, expected = CASES[case]
    try:
        with morvane.Scheduler(computer, **credentials) as scheduler:
            scheduler.task_exists("Nothing here")
            answer = "local" if scheduler.computer.lower() == socket.gethostname().split(".")[0].lower() else scheduler.computer
    except ValueError:
        answer = "ValueError"
    except TaskSchedulerError as error:
        answer = error.hresult
    assert answer == expected
