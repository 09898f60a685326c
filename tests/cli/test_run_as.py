"""register and create --run-as: the account's password from an environment variable, standard
input or a prompt without echo, never an argument; the registered principal; refusals."""

import io

import pytest

import morvane
from morvane import emulator

from .test_command_line import command

pytestmark = pytest.mark.emulator

SECRET = "s3cret-for-alice"
CREATE = ["create", "Job", "--schedule", "ONCE", "--start-time", "02:00", "--", "/bin/true"]


@pytest.fixture(autouse=True)
def alice():
    emulator.add_user("alice", SECRET)


@pytest.mark.parametrize(
    ("options", "environment", "stdin", "prompted", "status", "logon_type"),
    [
        (["--run-as", "alice", "--run-as-password-env", "PW"], {"PW": SECRET}, "", None, 0, "Password"),
        (["--run-as", "alice", "--run-as-password-stdin"], {}, SECRET + "\n", None, 0, "Password"),
        (["--run-as", "alice"], {}, "", SECRET, 0, "Password"),
        (["--run-as", "alice", "--logon-type", "s4u"], {}, "", None, 0, "S4U"),
        (["--run-as", "SYSTEM"], {}, "", None, 0, None),
        (["--run-as", "alice", "--run-as-password-env", "PW"], {"PW": "wrong"}, "", None, 5, None),
        (["--run-as", "alice", "--run-as-password-env", "UNSET"], {}, "", None, 2, None),
        (["--run-as-password-stdin"], {}, SECRET + "\n", None, 2, None),
        (["--run-as", "alice", "--logon-type", "sometimes"], {}, "", None, 2, None),
    ],
)
def test_create_runs_as_the_account_named(capsys, monkeypatch, options, environment, stdin, prompted, status,
                                          logon_type):
    monkeypatch.delenv("UNSET", raising=False)
    for name, value in environment.items():
        monkeypatch.setenv(name, value)
    monkeypatch.setattr("sys.stdin", io.StringIO(stdin))
    prompts = []
    monkeypatch.setattr("getpass.getpass", lambda prompt: prompts.append(prompt) or prompted)
    code, out, err = command(capsys, *CREATE[:2], *options, *CREATE[2:])
    assert code == status, err
    assert SECRET not in out + err
    assert prompts == (["Password for alice: "] if prompted else [])
    if status == 0:
        principal = morvane.task_definition("Job").principal
        assert (principal.logon_type.value if principal.logon_type else None) == logon_type


def test_register_refuses_the_password_and_the_definition_both_on_standard_input(capsys, monkeypatch):
    definition = '<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Actions><Exec>' \
                 '<Command>/bin/true</Command></Exec></Actions></Task>'
    monkeypatch.setattr("sys.stdin", io.TextIOWrapper(io.BytesIO(definition.encode())))
    code, _, err = command(capsys, "register", "Job", "-", "--run-as", "alice", "--run-as-password-stdin")
    assert code == 2 and "standard input" in err
