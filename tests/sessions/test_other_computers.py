"""Scheduler(computer, *, user, domain, password): Connect's answers for every kind of server name
with every kind of credentials, compared with what the documentation says Windows answers; a
computer taken away under an open session; and the password kept out of everything Python can
read."""

import socket

import pytest

import morvane
from morvane import TaskSchedulerError, emulator

from operations import DAILY

pytestmark = pytest.mark.emulator

SERVER = "FILESRV01"
OPERATOR = ("operator", "c0rrect-h0rse")


def documented_answer(server, credentials):
    """What ITaskService::Connect answers, from its documentation and Windows' behaviour alone:
    a hex HRESULT, "ValueError" for credentials given in part (morvane refuses them before
    connecting: Windows would answer E_OUTOFMEMORY), or ("ok", computer, user)."""
    if credentials in ("user only", "password only", "domain only"):
        return "ValueError"
    if server == "0.0.0.0":
        return "0x800706ab"  # RPC_S_INVALID_NET_ADDR: no server can have the unspecified address
    local = server in (None, "", ".", "localhost", "LOCALHOST", "127.0.0.1", "\\\\.", socket.gethostname())
    if local:
        # Windows takes no credentials for a local connection: ERROR_NOT_SUPPORTED.
        return "ok-local" if credentials == "none" else "0x80070032"
    if server.removeprefix("\\\\").lower() != SERVER.lower():
        return "0x800706ba"  # RPC_S_SERVER_UNAVAILABLE
    return {
        "none": ("ok", SERVER, None),
        "right": ("ok", SERVER, OPERATOR[0]),
        "right, domain named": ("ok", SERVER, OPERATOR[0]),
        "wrong password": "0x8007052e",  # ERROR_LOGON_FAILURE
        "unknown account": "0x80070534",  # ERROR_NONE_MAPPED
    }[credentials]


CREDENTIALS = {
    "none": {},
    "right": {"user": OPERATOR[0], "password": OPERATOR[1]},
    "right, domain named": {"user": OPERATOR[0], "domain": SERVER, "password": OPERATOR[1]},
    "wrong password": {"user": OPERATOR[0], "password": "guess"},
    "unknown account": {"user": "nobody", "password": "guess"},
    "user only": {"user": OPERATOR[0]},
    "password only": {"password": OPERATOR[1]},
    "domain only": {"domain": SERVER},
}
SERVERS = [None, "", ".", "localhost", "127.0.0.1", "\\\\.", socket.gethostname(), SERVER, SERVER.lower(),
           "\\\\" + SERVER, "NOSUCHHOST", "0.0.0.0"]


@pytest.fixture
def fileserver(tmp_path):  # the test's computers are removed after it, as every test's are
    """A computer with a task and the account OPERATOR; its accounts are made in its library."""
    library = tmp_path / SERVER
    local = emulator.task_library()
    emulator.set_task_library(library)
    try:
        emulator.add_user(*OPERATOR, administrator=True)
        morvane.register_xml("Nightly", DAILY)
    finally:
        emulator.set_task_library(local)
    emulator.add_computer(SERVER, library)
    return library


def answer(server, credentials):
    try:
        with morvane.Scheduler(server, **CREDENTIALS[credentials]) as scheduler:
            if server is None or scheduler.computer != SERVER:
                return "ok-local"
            user = scheduler.connected_user if credentials != "none" else None
            assert scheduler.connected_domain == (SERVER if user else scheduler.connected_domain)
            assert [task.name for task in scheduler.list_tasks()] == ["Nightly"]
            return ("ok", scheduler.computer, user)
    except ValueError:
        return "ValueError"
    except TaskSchedulerError as error:
        assert error.operation == "Connect"
        return f"{error.hresult:#010x}"


@pytest.mark.parametrize("credentials", list(CREDENTIALS))
def test_connect_answers_as_the_documentation_says(fileserver, credentials):
    assert {server: answer(server, credentials) for server in SERVERS} == {
        server: documented_answer(server, credentials) for server in SERVERS
    }


def test_module_functions_stay_on_this_computer(fileserver):
    with morvane.Scheduler(SERVER) as remote:
        assert remote.task_exists("Nightly")
    assert not morvane.task_exists("Nightly")


def test_a_computer_taken_away_loses_the_session_until_it_is_back(fileserver):
    scheduler = morvane.Scheduler(SERVER, user=OPERATOR[0], password=OPERATOR[1])
    try:
        emulator.remove_computer(SERVER)
        for _ in range(2):  # the loss, then a reconnection that finds no server
            with pytest.raises(TaskSchedulerError) as lost:
                scheduler.task_exists("Nightly")
            assert lost.value.hresult == 0x800706BA
        emulator.add_computer(SERVER, fileserver)
        # Connects anew to the same computer, logged on with the same credentials.
        assert scheduler.task_exists("Nightly")
        assert scheduler.connected_user == OPERATOR[0]
    finally:
        scheduler.close()


def test_each_call_waits_the_computers_latency(fileserver):
    import time

    emulator.add_computer(SERVER, fileserver, latency=0.05)
    with morvane.Scheduler(SERVER) as scheduler:
        began = time.monotonic()
        scheduler.task_exists("Nightly")
        assert time.monotonic() - began >= 0.05
    began = time.monotonic()
    morvane.task_exists("Nightly")  # this computer's service has no latency
    assert time.monotonic() - began < 0.05


def test_the_password_is_kept_out_of_everything_python_reads(fileserver):
    secret = "pw-" + "5ecret-" * 3
    emulator.set_task_library(fileserver)
    emulator.set_password(OPERATOR[0], secret)
    emulator.set_task_library(fileserver.parent / "local")
    with emulator.journal() as records:
        scheduler = morvane.Scheduler(SERVER, user=OPERATOR[0], password=secret)
        try:
            with pytest.raises(TaskSchedulerError) as failure:
                morvane.Scheduler(SERVER, user=OPERATOR[0], password=secret + "x")
            seen = [repr(scheduler), str(failure.value), repr(failure.value), *getattr(failure.value, "__notes__", [])]
            seen += [dir(scheduler), [getattr(scheduler, name, None) for name in ("computer", "connected_user")]]
        finally:
            scheduler.close()
    seen += [record.arguments for record in records]
    assert secret not in repr(seen)
    assert any("(hidden)" in record.arguments for record in records if record.call == "Connect")


@pytest.mark.parametrize("name", ["", ".", "localhost", "Local Host", "a\\b", "a/b", "tab\there"])
def test_no_other_computer_takes_a_name_of_this_one_or_a_malformed_one(tmp_path, name):
    with pytest.raises(ValueError):
        emulator.add_computer(name, tmp_path)
    assert emulator.computers() == []


def test_adding_a_name_again_replaces_that_computer(tmp_path):
    emulator.add_computer("web01", tmp_path / "old", latency=0.5)
    with morvane.Scheduler("WEB01") as before:
        emulator.add_computer("WEB01", tmp_path / "new")
        assert [(computer.name, computer.library, computer.latency) for computer in emulator.computers()] == [
            ("WEB01", tmp_path / "new", 0.0)
        ]
        with pytest.raises(TaskSchedulerError):  # the old computer's session lost it
            before.list_tasks()
        before.register_xml("Fresh", DAILY)  # and reconnects to the new one
    assert (tmp_path / "new").is_dir() and not (tmp_path / "old").exists()
    with pytest.raises(KeyError):
        emulator.remove_computer("nosuch")


@pytest.mark.parametrize(
    ("added_as", "computer_name"),
    [(SERVER, SERVER), ("filesrv01.corp.example", SERVER), ("backup-server-in-rack-7", "BACKUP-SERVER-I")],
)
def test_a_computers_accounts_go_by_its_own_name(fileserver, added_as, computer_name):
    """Its library was filled in here before it was added, under this host's name; through the
    network its accounts are the computer's, named as Windows names it (first label, upper-case,
    at most 15 characters), in what it answers and in the principals it writes."""
    emulator.remove_computer(SERVER)
    emulator.add_computer(added_as, fileserver)
    with morvane.Scheduler(added_as, user=OPERATOR[0], password=OPERATOR[1]) as scheduler:
        scheduler.register_task("AsOperator", DAILY, user=OPERATOR[0], password=OPERATOR[1])
        assert scheduler.task_definition("AsOperator").principal.user_id == f"{computer_name}\\{OPERATOR[0]}"
        scheduler.register_task("AsOperatorByName", DAILY, user=f"{computer_name}\\{OPERATOR[0]}",
                                password=OPERATOR[1])
