"""Registering a task for an account: the answers of the emulated service for each kind of caller,
account, logon type and password, against a table and a model written from the documentation."""

from __future__ import annotations

import pytest
from hypothesis import HealthCheck, given, settings
from hypothesis import strategies as st

import morvane
from morvane import LogonType, emulator
from morvane.logon_type import principal_logon_type
from registration_model import (
    E_ACCESSDENIED,
    E_INVALIDARG,
    ERROR_LOGON_FAILURE,
    ERROR_NONE_MAPPED,
    OK,
    expected_answer,
    registered_logon_type,
    stored_logon_type,
)

pytestmark = pytest.mark.emulator

DEFINITION = """<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Actions><Exec><Command>/bin/true</Command></Exec></Actions>
</Task>"""
PASSWORDS = {"own": "own-secret", "other": "alice-secret"}
NAMES = {"own": "me", "other": "alice", "SYSTEM": "NT AUTHORITY\\SYSTEM", "LOCAL SERVICE": "LOCAL SERVICE",
         "Users": "BUILTIN\\Users", "unknown": "nobody"}


def make_accounts(caller_is_admin: bool) -> None:
    emulator.set_caller("me", administrator=caller_is_admin)
    emulator.set_password("me", PASSWORDS["own"])
    emulator.add_user("alice", PASSWORDS["other"])


def register(account: str, logon_type: LogonType, password: str | None) -> int:
    try:
        morvane.register_task("Job", DEFINITION, user=NAMES[account], password=password, logon_type=logon_type)
    except morvane.TaskSchedulerError as error:
        return error.hresult
    return OK


def password_for(account: str, kind: str) -> str | None:
    return {"missing": None, "right": PASSWORDS.get(account, "x"), "wrong": "not-it"}[kind]


ROWS = [
    # caller admin, account, logon type, password, answer
    (False, "own", LogonType.INTERACTIVE_TOKEN, "missing", OK),
    (False, "own", LogonType.PASSWORD, "right", OK),
    (False, "own", LogonType.PASSWORD, "wrong", ERROR_LOGON_FAILURE),
    (False, "own", LogonType.PASSWORD, "missing", ERROR_LOGON_FAILURE),
    (False, "own", LogonType.INTERACTIVE_TOKEN_OR_PASSWORD, "missing", OK),
    (False, "own", LogonType.INTERACTIVE_TOKEN_OR_PASSWORD, "wrong", ERROR_LOGON_FAILURE),
    (False, "other", LogonType.PASSWORD, "right", E_ACCESSDENIED),
    (False, "SYSTEM", LogonType.SERVICE_ACCOUNT, "missing", E_ACCESSDENIED),
    (False, "Users", LogonType.GROUP, "missing", OK),
    (True, "other", LogonType.PASSWORD, "right", OK),
    (True, "other", LogonType.S4U, "missing", OK),
    (True, "other", LogonType.PASSWORD, "wrong", ERROR_LOGON_FAILURE),
    (True, "SYSTEM", LogonType.SERVICE_ACCOUNT, "missing", OK),
    (True, "LOCAL SERVICE", LogonType.INTERACTIVE_TOKEN, "missing", OK),
    (True, "SYSTEM", LogonType.SERVICE_ACCOUNT, "right", E_INVALIDARG),
    (True, "other", LogonType.SERVICE_ACCOUNT, "missing", E_INVALIDARG),
    (True, "other", LogonType.GROUP, "missing", E_INVALIDARG),
    (True, "unknown", LogonType.PASSWORD, "right", ERROR_NONE_MAPPED),
]


@pytest.mark.parametrize(("admin", "account", "logon_type", "password", "answer"), ROWS)
def test_registration_answers(admin, account, logon_type, password, answer):
    make_accounts(admin)
    assert register(account, logon_type, password_for(account, password)) == answer
    # The model written from the documentation agrees with each row.
    assert expected_answer(caller_is_admin=admin, account=account, logon_type=logon_type,
                           password=password_for(account, password), right_password=password == "right") == answer
    assert morvane.task_exists("Job") == (answer == OK)


@settings(max_examples=40, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(admin=st.booleans(), account=st.sampled_from(sorted(NAMES)), logon_type=st.sampled_from(LogonType),
       password=st.sampled_from(["missing", "right", "wrong"]))
def test_the_service_answers_as_the_documented_model(admin, account, logon_type, password):
    make_accounts(admin)
    try:
        secret = password_for(account, password)
        answer = register(account, logon_type, secret)
        assert answer == expected_answer(caller_is_admin=admin, account=account, logon_type=logon_type,
                                         password=secret, right_password=password == "right")
        if answer == OK:
            principal = morvane.task_definition("Job").principal
            assert principal is not None
            written = stored_logon_type(account, logon_type)
            assert (principal.logon_type.value if principal.logon_type else None) == written
            # task_info reads the same principal, and it stands for the logon type registered.
            assert morvane.task_info("Job").principal == principal
            assert principal_logon_type(principal) == registered_logon_type(account, logon_type)
    finally:
        emulator.remove_user("alice")
        if morvane.task_exists("Job"):
            morvane.delete_task("Job")


def test_the_registered_principal_reads_back_and_runs_as_that_account():
    make_accounts(True)
    computer = emulator.accounts()["computer"]
    morvane.register_task("Job", DEFINITION, user="alice", password=PASSWORDS["other"])
    principal = morvane.task_definition("Job").principal
    assert (principal.user_id, principal.logon_type) == (f"{computer}\\alice", morvane.definition.LogonType.PASSWORD)
    morvane.start_task("Job").wait(timeout=10)
    assert [record.account for record in emulator.runs("Job")] == [f"{computer}\\alice"]
    morvane.register_task("System", DEFINITION, user="SYSTEM")
    assert morvane.task_definition("System").principal.user_id == "S-1-5-18"


def test_a_definitions_principal_is_honoured_when_the_call_names_none():
    make_accounts(True)
    computer = emulator.accounts()["computer"]
    s4u = DEFINITION.replace("<Actions>", "<Principals><Principal><UserId>alice</UserId><LogonType>S4U</LogonType>"
                                          "</Principal></Principals><Actions>")
    morvane.register_task("Job", s4u)
    principal = morvane.task_definition("Job").principal
    assert (principal.user_id, principal.logon_type.value) == (f"{computer}\\alice", "S4U")
    # The same definition from a caller who is not an administrator is refused.
    emulator.set_caller("me", administrator=False)
    with pytest.raises(morvane.TaskPermissionError):
        morvane.register_task("Job2", s4u)


def test_accounts_are_managed_and_never_show_a_hash(fresh_task_library):
    emulator.add_group("Operators")
    emulator.add_user("Bob", "bob-secret", groups=("operators",))
    known = emulator.accounts()
    bob = next(account for account in known["accounts"] if account.name == "Bob")
    operators = next(account for account in known["accounts"] if account.name == "Operators")
    assert bob.sid.startswith(known["sid"] + "-") and int(bob.sid.rsplit("-", 1)[1]) >= 1000
    assert operators.sid in bob.groups and bob.has_password and not bob.administrator
    assert "argon2" not in repr(known)
    with pytest.raises(ValueError):
        emulator.add_user("BOB", None)  # names compare without regard to case
    with pytest.raises(KeyError):
        emulator.add_user("carol", None, groups=("nobody",))
    emulator.remove_user("bob")
    assert "Bob" not in {account.name for account in emulator.accounts()["accounts"]}
    stored = (fresh_task_library / ".accounts")
    assert stored.stat().st_mode & 0o777 == 0o600
    stored.write_text("winemu-accounts 1\nuser broken\n")
    with pytest.raises(ValueError, match="0x8007054E"):
        emulator.accounts()
    with pytest.raises(morvane.TaskSchedulerError):
        morvane.register_task("Job", DEFINITION)
