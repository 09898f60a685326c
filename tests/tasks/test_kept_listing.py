"""What a listing learnt, kept in the library for the next process: believed when whole and made
for this build, folder and time zone, ignored otherwise; a definition changed behind it is read
again; a library that cannot be written is listed all the same."""

import json
import os
import shutil
import struct
import subprocess
import sys

import pytest

import morvane
from morvane import emulator

from .definitions import calendar_trigger, task_xml

pytestmark = pytest.mark.emulator

LIST = ("import json, morvane; print(json.dumps({t.path: [t.enabled, t.next_run_time and t.next_run_time.timestamp()]"
        " for t in morvane.list_tasks(recursive=True)}))")
ZONE = {"TZ": "Europe/Paris"}
HOURLY = task_xml(triggers=calendar_trigger("2026-03-02T06:00:00", interval="PT1H", duration="P1D"))

# The kept file's layout: a header (magic, version, count, build, folder and zone digests), records
# of a definition digest, flags, the moment asked and the first run time, and a checksum.
HEADER, RECORD = 88, 48
HAS_RUN, HAS_FIRST = 8, 16


def digest(data):
    """The two 64-bit hashes winemu's definition digest makes, eight bytes at a time."""
    mask = (1 << 64) - 1
    first, second = 0xCBF29CE484222325, 0x84222325CBF29CE4

    def mix(word):
        nonlocal first, second
        first = ((first ^ word) * 0x100000001B3) & mask
        first ^= first >> 29
        second = ((second ^ word) * 0xFF51AFD7ED558CCD) & mask
        second ^= second >> 33

    whole = len(data) - len(data) % 8
    for at in range(0, whole, 8):
        mix(int.from_bytes(data[at:at + 8], sys.byteorder))
    mix(int.from_bytes(data[whole:], sys.byteorder))
    return first, second


def sealed(body):
    return body + struct.pack("=QQ", *digest(body))


def listed_in_fresh_process(library, command=(), **env):
    done = subprocess.run([*command, sys.executable, "-c", LIST], capture_output=True, text=True, timeout=60,
                          env={**os.environ, "MORVANE_TASK_LIBRARY": str(library), **ZONE, **env})
    assert done.returncode == 0 and not done.stderr, done.stderr
    return json.loads(done.stdout)


def kept_file(library):
    (found,) = (library / ".listing").iterdir()
    return found


def with_lie(genuine):
    """The kept file with the one record's first run time moved to 17 minutes past an hour, three
    days on: a listing that shows it believed the file."""
    body = bytearray(genuine[:-16])
    assert len(body) == HEADER + RECORD
    flags, asked, _ = struct.unpack_from("=Qqq", body, HEADER + 24)
    lie = asked + 3 * 86400 + 17 * 60
    struct.pack_into("=Qqq", body, HEADER + 24, flags | HAS_RUN | HAS_FIRST, asked, lie)
    return sealed(bytes(body)), lie


def resealed(change):
    return lambda kept: sealed(change(bytearray(kept[:-16])))


def changed_at(at):
    def change(body):
        body[at] ^= 1
        return bytes(body)
    return change


@pytest.mark.parametrize("kept, env, believed", [
    pytest.param(lambda kept: kept, {}, True, id="whole"),
    pytest.param(lambda kept: kept, {"TZ": "Asia/Tokyo"}, False, id="another time zone"),
    pytest.param(lambda kept: b"", {}, False, id="empty"),
    pytest.param(lambda kept: kept[:-1], {}, False, id="truncated"),
    pytest.param(lambda kept: kept + b"\0", {}, False, id="a byte more"),
    pytest.param(lambda kept: b"X" + kept[1:], {}, False, id="another magic"),
    pytest.param(lambda kept: changed_at(HEADER + 30)(bytearray(kept)), {}, False, id="a changed record"),
    pytest.param(resealed(changed_at(8)), {}, False, id="another layout version"),
    pytest.param(resealed(changed_at(16 + 8)), {}, False, id="another build"),
    pytest.param(resealed(changed_at(40 + 8)), {}, False, id="another folder"),
])
def test_a_fresh_process_believes_only_a_whole_kept_file_of_its_build_folder_and_zone(kept, env, believed):
    morvane.register_xml("Ops\\Hourly", HOURLY)
    library = emulator.task_library()
    listed_in_fresh_process(library)  # learns, and keeps what it learnt
    lie_text, lie = with_lie(kept_file(library).read_bytes())
    kept_file(library).write_bytes(kept(lie_text))
    enabled, next_run = listed_in_fresh_process(library, **env)["\\Ops\\Hourly"]
    assert enabled
    if believed:
        assert next_run == lie
    else:  # the definition's own answer: on the hour
        assert next_run % 3600 == 0


def test_a_kept_file_that_is_not_the_librarys_own_is_ignored(tmp_path):
    morvane.register_xml("Ops\\Hourly", HOURLY)
    library = emulator.task_library()
    listed_in_fresh_process(library)
    lie_text, _ = with_lie(kept_file(library).read_bytes())
    elsewhere = tmp_path / "planted"
    elsewhere.write_bytes(lie_text)
    placed = kept_file(library)
    placed.unlink()
    placed.symlink_to(elsewhere)
    assert listed_in_fresh_process(library)["\\Ops\\Hourly"][1] % 3600 == 0


def test_a_definition_changed_behind_the_kept_file_is_read_again():
    morvane.register_xml("Ops\\Hourly", HOURLY)
    library = emulator.task_library()
    assert listed_in_fresh_process(library)["\\Ops\\Hourly"][1] % 3600 == 0
    # Rewritten in place by hand: the same size, the same modification time.
    (definition,) = library.rglob("t.HOURLY")
    before = definition.stat()
    text = definition.read_bytes()
    definition.write_bytes(text.replace(b"T06:00:00", b"T06:30:00"))
    os.utime(definition, ns=(before.st_atime_ns, before.st_mtime_ns))
    assert definition.stat().st_size == before.st_size and definition.stat().st_mtime_ns == before.st_mtime_ns
    assert listed_in_fresh_process(library)["\\Ops\\Hourly"][1] % 3600 == 30 * 60


def read_only(library):
    """A command prefix that lists the library read-only, and what undoes it."""
    if os.geteuid() != 0:
        for folder, _, _ in os.walk(library):
            os.chmod(folder, 0o500)
        return (), lambda: [os.chmod(folder, 0o700) for folder, _, _ in os.walk(library)]
    if not shutil.which("unshare"):
        pytest.skip("needs unshare to make a read-only view of the library as root")
    mount = 'mount --bind "$0" "$0" && mount -o remount,bind,ro "$0" "$0" && exec "$@"'
    return ("unshare", "--mount", "sh", "-c", mount, str(library)), lambda: None


def test_a_read_only_library_is_listed_and_not_written():
    morvane.register_xml("Ops\\Hourly", HOURLY)
    morvane.register_xml("Quiet", task_xml(settings="<Enabled>false</Enabled>"))
    library = emulator.task_library()
    command, undo = read_only(library)
    try:
        listed = listed_in_fresh_process(library, command)
    finally:
        undo()
    assert listed["\\Quiet"] == [False, None]
    assert listed["\\Ops\\Hourly"][0] and listed["\\Ops\\Hourly"][1] % 3600 == 0
    assert not (library / ".listing").exists()
    # Once it can be written, a listing keeps what it learnt, and the next process believes it.
    assert listed_in_fresh_process(library) == listed
    assert len(list((library / ".listing").iterdir())) == 2


REGISTER_FOREVER = """
import sys, morvane
from tests.tasks.definitions import calendar_trigger, task_xml
versions = [task_xml(triggers=calendar_trigger(f"2026-03-02T06:{minute}:00", interval="PT1H", duration="P1D"))
            for minute in ("00", "30")] + [task_xml(settings="<Enabled>false</Enabled>")]
round = 0
while True:
    for index in range(8):
        morvane.register_xml(f"Ops\\\\Task{index}", versions[(round + index) % 3])
    round += 1
    print(round, flush=True)
"""


def test_processes_listing_while_another_registers_see_only_whole_answers():
    # Each task is, at any moment, one of three versions: enabled at :00 or :30 past each hour,
    # or disabled. A listing in a fresh process, reading files that other listings write, gives
    # one of them for each task, whatever it read when.
    library = emulator.task_library()
    root = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))
    writer = subprocess.Popen([sys.executable, "-c", REGISTER_FOREVER], cwd=root, stdout=subprocess.PIPE, text=True,
                              env={**os.environ, "MORVANE_TASK_LIBRARY": str(library), **ZONE})
    try:
        assert writer.stdout.readline()
        for _ in range(6):
            for enabled, next_run in listed_in_fresh_process(library).values():
                assert (enabled, next_run is None) in {(True, False), (False, True)}
                assert not enabled or next_run % 3600 in (0, 1800)
    finally:
        writer.kill()
        writer.wait()
    assert (library / ".listing").is_dir()
