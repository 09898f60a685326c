"""Assembles morvane's Windows wheel from an unpacked sdist and the cross-built extensions.

The wheel holds the Python package as the sdist has it (src/morvane), the extension modules, and a
.dist-info whose METADATA is the sdist's PKG-INFO (the build backend wrote it from pyproject.toml)
and whose entry points are those pyproject.toml declares. No winemu goes in: on Windows the
extension talks to the real service, and morvane.emulator refuses to import there.

usage: assemble_wheel.py SDIST_DIR OUT_DIR EXTENSION.pyd...
"""

from __future__ import annotations

import base64
import hashlib
import sys
import tomllib
import zipfile
from pathlib import Path

TAG = "cp313-cp313-win_amd64"
# Files of the package that only a build or the emulated platform uses.
LEFT_OUT = {"libwinemu.so"}


def record_line(name: str, data: bytes) -> str:
    digest = base64.urlsafe_b64encode(hashlib.sha256(data).digest()).rstrip(b"=").decode()
    return f"{name},sha256={digest},{len(data)}"


def entry_points(project: dict) -> str:
    groups = {"console_scripts": project.get("scripts", {}), **project.get("entry-points", {})}
    text = ""
    for group, entries in groups.items():
        if entries:
            text += f"[{group}]\n" + "".join(f"{name} = {target}\n" for name, target in entries.items()) + "\n"
    return text


def main(arguments: list[str]) -> int:
    if len(arguments) < 3:
        print(__doc__, file=sys.stderr)
        return 2
    sdist, out, extensions = Path(arguments[0]), Path(arguments[1]), [Path(path) for path in arguments[2:]]
    project = tomllib.loads((sdist / "pyproject.toml").read_text())["project"]
    name, version = project["name"], project["version"]
    dist_info = f"{name}-{version}.dist-info"

    files: dict[str, bytes] = {}
    package = sdist / "src" / name
    for path in sorted(package.rglob("*")):
        if path.is_file() and path.name not in LEFT_OUT and "__pycache__" not in path.parts:
            files[f"{name}/{path.relative_to(package).as_posix()}"] = path.read_bytes()
    for extension in extensions:
        files[f"{name}/{extension.name}"] = extension.read_bytes()
    files[f"{dist_info}/METADATA"] = (sdist / "PKG-INFO").read_bytes()
    wheel = f"Wheel-Version: 1.0\nGenerator: morvane assemble_wheel\nRoot-Is-Purelib: false\nTag: {TAG}\n\n"
    files[f"{dist_info}/WHEEL"] = wheel.encode()
    files[f"{dist_info}/entry_points.txt"] = entry_points(project).encode()

    record = f"{dist_info}/RECORD"
    lines = [record_line(file, data) for file, data in files.items()] + [f"{record},,"]
    files[record] = ("\n".join(lines) + "\n").encode()

    out.mkdir(parents=True, exist_ok=True)
    target = out / f"{name}-{version}-{TAG}.whl"
    with zipfile.ZipFile(target, "w", compression=zipfile.ZIP_DEFLATED) as archive:
        for file, data in files.items():
            entry = zipfile.ZipInfo(file, date_time=(2020, 1, 1, 0, 0, 0))
            entry.external_attr = 0o644 << 16  # rw-r--r-- where the unpacker keeps modes
            archive.writestr(entry, data, zipfile.ZIP_DEFLATED)
    print(target)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
