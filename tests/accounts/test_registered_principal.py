"""The registered principal as task_info reads it: for each kind of account and logon type, given
to register_task or written in the definition, the same as task_definition's; None from a listing;
and as the command line's info prints it."""

from __future__ import annotations

import dataclasses
import json
import pickle

import pytest

import morvane
from morvane import LogonType, emulator
from morvane.cli import main
from morvane.definition import RunLevel
from morvane.logon_type import principal_logon_type

pytestmark = pytest.mark.emulator

DEFINITION = """<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  {principals}<Actions><Exec><Command>/bin/true</Command></Exec></Actions>
</Task>"""
ALICE_PASSWORD = "alice-secret"
SYSTEM, LOCAL_SERVICE, USERS = "S-1-5-18", "S-1-5-19", "S-1-5-32-545"


def definition(principal: str = "") -> str:
    principals = f"<Principals><Principal id=\"Author\">{principal}</Principal></Principals>" if principal else ""
    return DEFINITION.format(principals=principals)


# how it is registered (keywords of register_task, or the definition's Principal element), then
# the account the service writes ("{computer}\\name" for a user, a SID otherwise; None: it keeps
# the definition as it is, without a principal, for the caller), whether it is a group, and the
# logon type it stands for.
ROWS = [
    ("no principal: the caller", {}, "", None, False, None),
    ("password", {"user": "alice", "password": ALICE_PASSWORD}, "", "{computer}\\alice", False,
     LogonType.PASSWORD),
    ("s4u", {"user": "alice", "logon_type": LogonType.S4U}, "", "{computer}\\alice", False, LogonType.S4U),
    ("interactive token", {"user": "alice", "logon_type": LogonType.INTERACTIVE_TOKEN}, "", "{computer}\\alice",
     False, LogonType.INTERACTIVE_TOKEN),
    ("token or password", {"user": "alice", "password": ALICE_PASSWORD,
                           "logon_type": LogonType.INTERACTIVE_TOKEN_OR_PASSWORD}, "", "{computer}\\alice",
     False, LogonType.INTERACTIVE_TOKEN_OR_PASSWORD),
    ("group", {"user": "BUILTIN\\Users", "logon_type": LogonType.GROUP}, "", USERS, True, LogonType.GROUP),
    ("system", {"user": "SYSTEM"}, "", SYSTEM, False, LogonType.SERVICE_ACCOUNT),
    ("local service", {"user": "NT AUTHORITY\\LOCAL SERVICE", "logon_type": LogonType.S4U}, "", LOCAL_SERVICE,
     False, LogonType.SERVICE_ACCOUNT),
    ("definition: s4u", {}, "<UserId>alice</UserId><LogonType>S4U</LogonType>", "{computer}\\alice", False,
     LogonType.S4U),
    ("definition: group", {}, "<GroupId>BUILTIN\\Users</GroupId>", USERS, True, LogonType.GROUP),
    ("definition: system", {}, "<UserId>SYSTEM</UserId>", SYSTEM, False, LogonType.SERVICE_ACCOUNT),
    ("definition: own token", {}, "<UserId>me</UserId><LogonType>InteractiveToken</LogonType>",
     "{computer}\\me", False, LogonType.INTERACTIVE_TOKEN),
    ("keywords over the definition", {"user": "SYSTEM"}, "<UserId>alice</UserId><LogonType>S4U</LogonType>",
     SYSTEM, False, LogonType.SERVICE_ACCOUNT),
]


@pytest.fixture(autouse=True)
def accounts():
    emulator.set_caller("me", administrator=True)
    emulator.add_user("alice", ALICE_PASSWORD)
    return emulator.accounts()["computer"]


@pytest.mark.parametrize(("keywords", "principal", "account", "group", "logon_type"),
                         [row[1:] for row in ROWS], ids=[row[0] for row in ROWS])
def test_task_info_reads_the_registered_principal(accounts, keywords, principal, account, group, logon_type):
    morvane.register_task("Job", definition(principal), **keywords)
    info = morvane.task_info("Job")
    assert info.principal == morvane.task_definition("Job").principal
    if account is None:
        assert info.principal is None
    else:
        account = account.format(computer=accounts)
        assert (info.principal.group_id, info.principal.user_id) == ((account, None) if group else (None, account))
        assert principal_logon_type(info.principal) == logon_type
    # A session reads the same; a listing reads no definition and leaves it None.
    with morvane.Scheduler() as scheduler:
        assert scheduler.task_info("Job") == info
    [listed] = morvane.list_tasks()
    assert listed.principal is None and listed == dataclasses.replace(info, principal=None)


def test_a_task_registered_anew_shows_its_new_principal_at_once():
    """What task_info read of one definition is kept by its text: a new text is read anew."""
    for user, expected in [("SYSTEM", SYSTEM), ("alice", "alice"), ("SYSTEM", SYSTEM)]:
        morvane.register_task("Job", definition(), user=user, password=ALICE_PASSWORD if user == "alice" else None)
        assert morvane.task_info("Job").principal.user_id.endswith(expected)
    morvane.register_task("Other", definition())
    assert morvane.task_info("Other").principal is None


def test_the_principal_keeps_what_the_definition_adds():
    morvane.register_task("Job", definition("<UserId>me</UserId><RunLevel>HighestAvailable</RunLevel>"))
    info = morvane.task_info("Job")
    assert (info.principal.id, info.principal.run_level) == ("Author", RunLevel.HIGHEST_AVAILABLE)
    # Still a record that prints, hashes and pickles.
    assert "principal=Principal(user_id=" in repr(info)
    assert pickle.loads(pickle.dumps(info)) == info and hash(info) == hash(morvane.task_info("Job"))


def test_info_prints_the_account_and_its_logon_type(accounts, capsys):
    morvane.register_task("Job", definition(), user="alice", password=ALICE_PASSWORD)
    morvane.register_task("Group", definition(), user="Users", logon_type=LogonType.GROUP)
    assert main(["info", "Job"]) == 0
    lines = capsys.readouterr().out.splitlines()
    assert lines[-2:] == [f"runs as:      {accounts}\\alice", "logon type:   PASSWORD"]
    assert main(["info", "Group", "--json"]) == 0
    assert json.loads(capsys.readouterr().out)["principal"] == {
        "user_id": None, "group_id": USERS, "logon_type": "GROUP", "run_level": None}
    assert main(["list", "--json"]) == 0
    assert [record["principal"] for record in json.loads(capsys.readouterr().out)] == [None, None]
