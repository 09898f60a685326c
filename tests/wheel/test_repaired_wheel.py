"""The wheel that auditwheel repaired installs into a fresh venv and works there: the console
script, the extension and the emulator on ONE copy of winemu, libxml2 from the wheel's own copy,
and the service's runner beside them.

scripts/build_wheel makes the wheel and scripts/test names its folder in MORVANE_WHEELHOUSE;
without it this test is skipped.
"""

import os
import subprocess
import sys
import venv
from pathlib import Path

import pytest

WHEELHOUSE = os.environ.get("MORVANE_WHEELHOUSE")

CHECK = """
import pathlib, sys
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
print(sorted({path for path in maps if "libwinemu" in path or "libxml2" in path}))
print(morvane.__file__)
"""


@pytest.mark.skipif(not WHEELHOUSE, reason="needs MORVANE_WHEELHOUSE, the repaired wheel's folder (scripts/test)")
def test_the_repaired_wheel_in_a_fresh_venv(tmp_path):
    (wheel,) = Path(WHEELHOUSE).glob("morvane-*manylinux*.whl")
    venv.create(tmp_path / "venv", with_pip=True)
    python = tmp_path / "venv" / "bin" / "python"
    subprocess.run([python, "-m", "pip", "install", "--quiet", "--no-index", wheel], check=True, timeout=300)
    environment = dict(os.environ, MORVANE_TASK_LIBRARY=str(tmp_path / "library"))
    environment.pop("LD_PRELOAD", None)
    done = subprocess.run(
        [python, "-I", "-c", CHECK], cwd=tmp_path, env=environment, capture_output=True, text=True, timeout=60
    )
    assert done.returncode == 0, done.stderr
    libraries, package = done.stdout.splitlines()
    package_directory = Path(package).parent
    assert package_directory.is_relative_to(tmp_path / "venv")
    loaded = [Path(path) for path in eval(libraries)]
    # One winemu, the package's; one libxml2, the wheel's copy rather than the system's.
    assert [path for path in loaded if "libwinemu" in path.name] == [package_directory / "libwinemu.so"]
    [libxml2] = [path for path in loaded if "libxml2" in path.name]
    assert libxml2.parent == package_directory.parent / "morvane.libs"
    script = subprocess.run(
        [tmp_path / "venv" / "bin" / "morvane", "exists", "Missing"], env=environment, capture_output=True, timeout=60
    )
    assert (script.returncode, script.stderr) == (1, b"")
