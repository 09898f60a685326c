"""The cross-built Windows wheel: its name, tags and files, what its extensions import and export,
and that Windows (here Wine) loads each extension and finds its init function.

What this proves: the wheel installs as a cp313 win_amd64 wheel with a sound RECORD; every DLL an
extension needs is one that CPython for Windows or every Windows 10 has (no MinGW runtime, no second
C runtime); each of its imports from python313.dll is a name CPython's headers declare, and its
init function (PyInit__morvane_backend, PyInit__morvane_tasks) is its only export. What it cannot: no Windows CPython can be had here, so
the module's behaviour inside a Windows interpreter is not run; the Python layer is proven on Linux
and the scheduler client under Wine (tests/windows).

scripts/build_windows_wheel makes the wheel and scripts/test names its folder in
MORVANE_WINDOWS_WHEELHOUSE; without it these tests are skipped.
"""

from __future__ import annotations

import base64
import csv
import hashlib
import io
import os
import shutil
import subprocess
import tomllib
import zipfile
from pathlib import Path

import pytest

from .pe_image import MACHINE_AMD64, read_pe_image

HERE = Path(__file__).parent
ROOT = HERE.parent.parent
WHEELHOUSE = os.environ.get("MORVANE_WINDOWS_WHEELHOUSE")
pytestmark = pytest.mark.skipif(
    not WHEELHOUSE, reason="needs MORVANE_WINDOWS_WHEELHOUSE, the Windows wheel's folder (scripts/test)"
)

VERSION = tomllib.loads((ROOT / "pyproject.toml").read_text())["project"]["version"]
# Each extension module and its only export.
EXTENSIONS = {
    "morvane/_morvane_backend.cp313-win_amd64.pyd": "PyInit__morvane_backend",
    "morvane/_morvane_tasks.cp313-win_amd64.pyd": "PyInit__morvane_tasks",
}
MINGW_CC = "x86_64-w64-mingw32-gcc-posix"
# CPython itself, the Windows API, and the Universal C Runtime's API sets, which every Windows 10 has.
ALLOWED_DLLS = {"python313.dll", "kernel32.dll", "ole32.dll", "oleaut32.dll", "api-ms-win-core-winrt-string-l1-1-0.dll"}
UCRT_API_SET = "api-ms-win-crt-"


@pytest.fixture(scope="module")
def wheel() -> Path:
    return Path(WHEELHOUSE) / f"morvane-{VERSION}-cp313-cp313-win_amd64.whl"


@pytest.fixture(scope="module", params=EXTENSIONS, ids=lambda name: Path(name).name.split(".")[0])
def extension(request: pytest.FixtureRequest, wheel: Path, tmp_path_factory: pytest.TempPathFactory) -> Path:
    path = tmp_path_factory.mktemp("extension") / Path(request.param).name
    path.write_bytes(zipfile.ZipFile(wheel).read(request.param))
    return path


def init_function(extension: Path) -> str:
    return EXTENSIONS[f"morvane/{extension.name}"]


def test_the_wheel_is_tagged_for_windows_and_holds_the_package_its_extensions_and_a_sound_record(wheel):
    archive = zipfile.ZipFile(wheel)
    dist_info = f"morvane-{VERSION}.dist-info"
    source = ROOT / "src" / "morvane"
    package = {f"morvane/{path.relative_to(source).as_posix()}" for path in source.rglob("*")
               if path.is_file() and "__pycache__" not in path.parts}
    expected = package | set(EXTENSIONS) | {f"{dist_info}/{name}" for name in ("METADATA", "WHEEL", "entry_points.txt", "RECORD")}
    assert set(archive.namelist()) == expected
    assert not [name for name in archive.namelist() if name.endswith((".so", ".dll")) or "winemu" in name]

    wheel_file = archive.read(f"{dist_info}/WHEEL").decode()
    assert "Wheel-Version: 1.0\n" in wheel_file and "Root-Is-Purelib: false\n" in wheel_file
    assert [line for line in wheel_file.splitlines() if line.startswith("Tag:")] == ["Tag: cp313-cp313-win_amd64"]
    metadata = archive.read(f"{dist_info}/METADATA").decode()
    assert f"Name: morvane\nVersion: {VERSION}\n" in metadata and "Requires-Python: >=3.13" in metadata
    assert "morvane = morvane.cli:run" in archive.read(f"{dist_info}/entry_points.txt").decode()

    rows = list(csv.reader(io.StringIO(archive.read(f"{dist_info}/RECORD").decode())))
    assert sorted(row[0] for row in rows) == sorted(expected)
    for name, digest, size in rows:
        if name == f"{dist_info}/RECORD":
            assert (digest, size) == ("", "")
            continue
        data = archive.read(name)
        assert digest == "sha256=" + base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
        assert int(size) == len(data)


def test_each_extension_needs_only_python_windows_and_the_ucrt_and_exports_only_its_init(extension):
    image = read_pe_image(extension)
    assert image.machine == MACHINE_AMD64
    imports = {name.lower(): names for name, names in image.imports.items()}
    assert {name for name in imports if not name.startswith(UCRT_API_SET)} <= ALLOWED_DLLS, imports
    assert image.exports == (init_function(extension),)
    # Wine, like Windows, resolves DLLs at load time, but Wine fills a missing function with a stub:
    # that each name taken from python313.dll is one the headers declare is checked here.
    declared = {line.split()[0] for line in (Path(WHEELHOUSE) / "python313.def").read_text().splitlines()[2:]}
    assert "PyModuleDef_Init" in imports["python313.dll"]
    assert set(imports["python313.dll"]) <= declared


def wine() -> str | None:
    return shutil.which("wine") or next((path for path in ["/usr/lib/wine/wine64"] if os.access(path, os.X_OK)), None)


def stand_in_python_dll(definition: Path, folder: Path) -> Path:
    """A python313.dll with exactly the exports of the .def that the import library was made from,
    each function aborting if ever called: loading may resolve them, never run them."""
    source = ["#include <stdlib.h>"]
    for line in definition.read_text().splitlines()[2:]:
        name, *data = line.split()
        source.append(f"__declspec(dllexport) char {name}[1024];" if data else f"__declspec(dllexport) void {name}(void) {{ abort(); }}")
    (folder / "python313.c").write_text("\n".join(source) + "\n")
    subprocess.run([MINGW_CC, "-shared", "-o", folder / "python313.dll", folder / "python313.c"], check=True)
    return folder / "python313.dll"


@pytest.mark.skipif(not shutil.which(MINGW_CC) or not wine(), reason="needs mingw-w64 and Wine (scripts/test)")
def test_windows_loads_the_extension_and_finds_its_init_function(extension, tmp_path):
    shutil.copy(extension, tmp_path)
    stand_in_python_dll(Path(WHEELHOUSE) / "python313.def", tmp_path)
    subprocess.run(
        [MINGW_CC, "-municode", "-static", "-o", tmp_path / "load_module.exe", HERE / "load_module.c"], check=True
    )
    environment = dict(os.environ, WINEPREFIX=str(tmp_path / "prefix"), WINEDEBUG="-all")
    module = "Z:" + str(tmp_path / extension.name).replace("/", "\\")
    try:
        done = subprocess.run(
            [wine(), tmp_path / "load_module.exe", module, init_function(extension)],
            env=environment, capture_output=True, text=True, timeout=300,
        )
    finally:
        wineserver = shutil.which("wineserver") or "/usr/lib/wine/wineserver"
        subprocess.run([wineserver, "-k"], env=environment, check=False)
    assert done.returncode == 0, done.stdout + done.stderr[-2000:]
    assert done.stdout.strip().endswith(f"loaded; {init_function(extension)} found")
