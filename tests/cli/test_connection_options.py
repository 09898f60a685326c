"""The command line's connection options: --computer/-S and --user/-U before or after any verb,
the password from an environment variable, standard input or the prompt (never an argument), and
one line with its own exit status for a computer out of reach and for a refused logon."""

import io
import sys

import pytest

import morvane
from morvane import emulator
from morvane.cli import main

from .definitions import TASK_XML

pytestmark = pytest.mark.emulator

SECRET = "s3cret-Pa55"


@pytest.fixture
def server(tmp_path):
    local = emulator.task_library()
    emulator.set_task_library(tmp_path / "SRV")
    try:
        emulator.add_user("deploy", SECRET, administrator=True)
        morvane.register_xml("Backup", TASK_XML)
    finally:
        emulator.set_task_library(local)
    emulator.add_computer("SRV", tmp_path / "SRV")


def command(capsys, monkeypatch, argv, *, stdin="", env=None, prompt_answer=None):
    monkeypatch.setattr(sys, "stdin", io.TextIOWrapper(io.BytesIO(stdin.encode())))
    for name, value in (env or {}).items():
        monkeypatch.setenv(name, value)
    prompts = []
    if prompt_answer is not None:
        import getpass

        monkeypatch.setattr(getpass, "getpass", lambda prompt: prompts.append(prompt) or prompt_answer)
    try:
        status = main(argv)
    except SystemExit as exit:
        status = exit.code
    captured = capsys.readouterr()
    return status, captured.out, captured.err, prompts


CASES = [
    # argv, stdin, environment, prompt's answer, status, what standard output or error holds
    (["exists", "Backup", "--computer", "SRV"], "", {}, None, 0, ""),
    (["-S", "srv", "exists", "Backup"], "", {}, None, 0, ""),
    (["exists", "Backup"], "", {}, None, 1, ""),  # this computer has no such task
    (["-S", "SRV", "-U", "deploy", "--password-env", "PW", "exists", "Backup"], "", {"PW": SECRET}, None, 0, ""),
    (["exists", "Backup", "-S", "SRV", "-U", "SRV\\deploy", "--password-stdin"], SECRET + "\n", {}, None, 0, ""),
    (["list", "-S", "SRV", "-U", "deploy"], "", {}, SECRET, 0, "Backup"),
    (["-S", "SRV", "-U", "deploy", "--password-env", "PW", "exists", "Backup"], "", {"PW": "wrong"}, None, 12,
     "morvane exists 'Backup': cannot log on to SRV as deploy: Connect failed: The user name or password is "
     "incorrect. (0x8007052E)"),
    (["-S", "SRV", "-U", "ghost", "--password-env", "PW", "exists", "Backup"], "", {"PW": "x"}, None, 12,
     "cannot log on to SRV as ghost"),
    (["-S", "NOWHERE", "exists", "Backup"], "", {}, None, 11,
     "morvane exists 'Backup': cannot reach NOWHERE: Connect failed: The RPC server is unavailable. (0x800706BA)"),
    (["-S", "SRV", "-U", "deploy", "--password-env", "UNSET_PW", "exists", "Backup"], "", {}, None, 2,
     "the environment variable UNSET_PW is not set"),
    (["-S", "SRV", "--password-stdin", "exists", "Backup"], SECRET, {}, None, 2,
     "a password is read only for --user"),
    (["-S", "SRV", "-U", "deploy", "--password-stdin", "register", "New", "-"], SECRET, {}, None, 2,
     "standard input cannot hold both the definition and the password"),
]


@pytest.mark.parametrize("argv, stdin, env, answer, status, shown", CASES)
def test_connection_options(server, capsys, monkeypatch, argv, stdin, env, answer, status, shown):
    got_status, out, err, prompts = command(capsys, monkeypatch, argv, stdin=stdin, env=env, prompt_answer=answer)
    assert got_status == status, err
    assert shown in (out if status == 0 else err)
    assert SECRET not in out + err
    if status > 1:
        assert err.count("\n") == 1  # one line, no traceback
    assert prompts == ([f"Password for deploy on SRV: "] if answer is not None else [])


def test_a_password_is_never_an_argument(server, capsys, monkeypatch):
    status, _, err, _ = command(capsys, monkeypatch, ["-S", "SRV", "-U", "deploy", "--password", SECRET, "list"])
    assert status == 2 and "--password-env" in err and SECRET not in err


def test_the_password_reaches_no_run_and_no_file(server, capsys, monkeypatch, tmp_path):
    """A run started through a logged-on connection: neither its processes' argv nor any file of
    either computer holds the password."""
    status, _, err, _ = command(
        capsys, monkeypatch, ["-S", "SRV", "-U", "deploy", "--password-stdin", "run", "Backup", "--wait"],
        stdin=SECRET + "\n",
    )
    assert status in (0, 9), err
    local = emulator.task_library()
    emulator.set_task_library(tmp_path / "SRV")
    try:
        argv = [record.argv for record in emulator.runs("Backup")]
    finally:
        emulator.set_task_library(local)
    assert argv and SECRET not in repr(argv)
    for path in tmp_path.rglob("*"):
        if path.is_file():
            data = path.read_bytes()
            assert SECRET.encode() not in data and SECRET.encode("utf-16-le") not in data, path
