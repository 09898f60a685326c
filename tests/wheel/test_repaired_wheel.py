"""The wheel that auditwheel repaired: tagged manylinux_2_28, its binaries asking for nothing newer
than glibc 2.28 and for no C++ runtime of the system; small, with libxml2 (no ICU) and libsodium
inside winemu rather than beside it, and it installs into a fresh venv and works there: the console
script, the extension and the emulator on ONE copy of winemu, the service's runner beside them,
definitions parsed as the system's libxml2 parses them and passwords hashed by the libsodium inside.

scripts/build_wheel makes the wheel and scripts/test names its folder in MORVANE_WHEELHOUSE;
without it these tests are skipped.
"""

import json
import os
import re
import subprocess
import venv
import zipfile
from pathlib import Path

import pytest

WHEELHOUSE = os.environ.get("MORVANE_WHEELHOUSE")
pytestmark = pytest.mark.skipif(
    not WHEELHOUSE, reason="needs MORVANE_WHEELHOUSE, the repaired wheel's folder (scripts/test)"
)

LARGEST_WHEEL = 3 * 1024 * 1024
# The oldest glibc the wheel serves (RHEL 8, Debian 10, Ubuntu 20.04) and the libraries of glibc
# itself, the only ones its binaries may ask for: no libstdc++ nor libgcc_s, whose newer releases
# ask for newer glibc symbols.
OLDEST_GLIBC = (2, 28)
GLIBC_LIBRARIES = {"libc.so.6", "libm.so.6", "libdl.so.2", "libpthread.so.0", "ld-linux-x86-64.so.2"}

CHECK = """
import ctypes, pathlib, sys
import morvane
from morvane import emulator
assert morvane.task_exists("Missing") is False
emulator.fail_next("GetTask", 0x80070005)  # struck in the extension's copy, or not at all
try:
    morvane.task_exists("Missing")
except morvane.TaskPermissionError:
    pass
else:
    sys.exit("the emulator and the extension do not share one winemu")
# The service's runner, beside libwinemu in the package, runs the task's action to its end.
morvane.register_xml("Run", '<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">'
                     '<Actions><Exec><Command>true</Command></Exec></Actions></Task>')
morvane.run_task("Run")
assert emulator.wait_runs("Run") == 0
[record] = emulator.runs("Run")
assert (record.state, record.exit_code) == ("ended", 0), record
maps = pathlib.Path("/proc/self/maps").read_text().split()
names = ("libwinemu", "libxml2", "libicu", "libsodium")
print(sorted({path for path in maps if any(name in path for name in names)}))
print(morvane.__file__)
winemu = ctypes.CDLL(str(pathlib.Path(morvane.__file__).with_name("libwinemu.so")))
print([hasattr(winemu, name) for name in ("winemu_outstanding", "CoCreateInstance", "xmlInitParser", "xmlParseDocument",
                                         "sodium_init", "crypto_pwhash_str")])
print(winemu.winemu_password_hashing_works())
"""

# Registers a definition and runs it: the refusal's text (libxml2's message and position), or
# the argv that the parsed Exec action started with. Run by the test's own package (built with
# the system's libxml2) and by the wheel's, the answers must agree.
ANSWER = """
import morvane
from morvane import emulator

def answer(xml):
    try:
        morvane.register_xml("Parsed", xml)
    except morvane.TaskSchedulerError as error:
        return str(error)
    morvane.run_task("Parsed")
    argv = [list(record.argv) for record in emulator.runs("Parsed")]
    morvane.delete_task("Parsed")
    return argv
"""

TASK = '<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">{}</Task>'
EXEC = "<Actions><Exec><Command>/bin/true</Command><Arguments>{}</Arguments></Exec></Actions>"
DEFINITIONS = [
    TASK.format(EXEC.format("&quot;two words&quot; &amp;&lt;&gt; &#xE9;&#233; \u00e9\u4e2d &#x1F600;")),
    "<?xml version='1.0' encoding='UTF-16'?>\n<!-- c --><?pi x?>" + TASK.format(EXEC.format("<![CDATA[<a&b>]]>")),
    TASK.format(EXEC.format("x</Argument>")),  # tags that do not match
    TASK.format(EXEC.format("&nbsp;")),  # an entity never declared
    TASK.format(EXEC.format("&#1;")),  # a character XML does not allow
    TASK.format("<Actions Context=Author/>"),  # an attribute without quotes
    '<!DOCTYPE Task [<!ENTITY e "x">]>' + TASK.format(EXEC.format("&e;")),
    TASK.format(EXEC.format("a")) + "<Task/>",  # a second root
]


@pytest.fixture(scope="module")
def wheel():
    (path,) = Path(WHEELHOUSE).glob("morvane-*manylinux*.whl")
    return path


@pytest.fixture(scope="module")
def installed(wheel, tmp_path_factory):
    """The wheel installed into a fresh venv: (its python, the environment to run it in)."""
    root = tmp_path_factory.mktemp("wheel")
    venv.create(root / "venv", with_pip=True)
    python = root / "venv" / "bin" / "python"
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-index", wheel], check=True, timeout=300)
    environment = dict(os.environ, MORVANE_TASK_LIBRARY=str(root / "library"))
    environment.pop("LD_PRELOAD", None)
    return python, environment


def test_the_wheel_serves_glibc_2_28(wheel, tmp_path):
    # Tagged for glibc 2.28, and for any older one that its binaries' symbols allow as well.
    tags = wheel.name.removesuffix(".whl").split("-")[-1].split(".")
    assert f"manylinux_{OLDEST_GLIBC[0]}_{OLDEST_GLIBC[1]}_x86_64" in tags
    assert all(re.fullmatch(r"manylinux_2_(\d+)_x86_64", tag) for tag in tags), tags
    assert max(int(tag.split("_")[2]) for tag in tags) == OLDEST_GLIBC[1]
    with zipfile.ZipFile(wheel) as archive:
        archive.extractall(tmp_path)
    binaries = {}
    for path in sorted(tmp_path.rglob("*")):
        if not path.is_file() or path.read_bytes()[:4] != b"\x7fELF":
            continue
        needs = subprocess.run(["readelf", "-d", "-V", "-W", path], capture_output=True, text=True, check=True).stdout
        versions = {tuple(map(int, found.split("."))) for found in re.findall(r"Name: GLIBC_([0-9.]+)", needs)}
        libraries = set(re.findall(r"\(NEEDED\)\s+Shared library: \[(.+?)\]", needs))
        # libwinemu.so is the package's own, beside the modules that ask for it.
        binaries[path.name] = (max(versions, default=(0,)) <= OLDEST_GLIBC, sorted(libraries - GLIBC_LIBRARIES - {"libwinemu.so"}))
    assert len(binaries) == 4, binaries  # winemu, its runner and the two extension modules
    assert binaries == {name: (True, []) for name in binaries}


def test_the_wheels_runner_starts_without_a_loader_or_glibc(wheel, tmp_path):
    """Every run starts the service's runner: a static program (no interpreter, no library asked
    for) on musl, whose start-up, unlike glibc's, does not probe the CPU."""
    with zipfile.ZipFile(wheel) as archive:
        [name] = [name for name in archive.namelist() if name.endswith("/winemu-runner")]
        runner = Path(archive.extract(name, tmp_path))
    headers = subprocess.run(["readelf", "-l", "-d", "-W", runner], capture_output=True, text=True, check=True).stdout
    assert "INTERP" not in headers and "(NEEDED)" not in headers
    assert b"GLIBC_TUNABLES" not in runner.read_bytes()  # read by every glibc program's start-up


def test_the_wheel_is_small_and_carries_no_icu_nor_a_libxml2_or_libsodium_of_its_own(wheel):
    names = zipfile.ZipFile(wheel).namelist()
    assert [name for name in names if any(part in name for part in ("libicu", "libxml2", "libsodium"))] == []
    assert wheel.stat().st_size <= LARGEST_WHEEL


def test_the_wheel_in_a_fresh_venv(installed, tmp_path):
    python, environment = installed
    done = subprocess.run(
        [python, "-I", "-c", CHECK], cwd=tmp_path, env=environment, capture_output=True, text=True, timeout=60
    )
    assert done.returncode == 0, done.stderr
    libraries, package, symbols, hashing = done.stdout.splitlines()
    package_directory = Path(package).parent
    assert package_directory.is_relative_to(python.parent.parent)
    # One winemu, the package's, with libxml2 and libsodium inside it: none of the three is
    # loaded, winemu shows its platform and control functions but none of the two libraries', and
    # the libsodium inside hashes and verifies a password.
    assert [Path(path) for path in eval(libraries)] == [package_directory / "libwinemu.so"]
    assert eval(symbols) == [True, True, False, False, False, False]
    assert hashing == "1"
    script = subprocess.run(
        [python.with_name("morvane"), "exists", "Missing"], env=environment, capture_output=True, timeout=60
    )
    assert (script.returncode, script.stderr) == (1, b"")


def test_the_wheel_parses_definitions_as_the_system_libxml2_does(installed, tmp_path):
    python, environment = installed
    program = ANSWER + "import json, sys\nprint(json.dumps([answer(xml) for xml in json.load(sys.stdin)]))"
    done = subprocess.run(
        [python, "-I", "-c", program], input=json.dumps(DEFINITIONS), cwd=tmp_path, env=environment,
        capture_output=True, text=True, timeout=60,
    )
    assert done.returncode == 0, done.stderr
    here: dict[str, object] = {}
    exec(ANSWER, here)
    expected = [here["answer"](xml) for xml in DEFINITIONS]
    assert json.loads(done.stdout) == expected
    # Both kinds of answer were met: the table exercises the parser's output and its refusals.
    assert {type(answer) for answer in expected} == {list, str}
