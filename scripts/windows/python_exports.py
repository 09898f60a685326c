"""Writes the module-definition (.def) file of python313.dll from what CPython's Windows headers
declare, never from the symbols an extension happens to use.

The headers mark every function and data object of the DLL with PyAPI_FUNC or PyAPI_DATA, which
for an extension on Windows expand to __declspec(dllimport) (a GNU-style compiler spells it
__attribute__((dllimport))). The headers are run through the target's preprocessor, with the
Windows pyconfig.h, and every declaration in CPython's own headers that carries that mark gives
one export: its name, and DATA for an object; the C runtime's headers, also marked, are left out. The result serves both for the import library
that the extension links against and for the stand-in python313.dll of the loading test.

usage: python_exports.py INCLUDE_DIR OUTPUT.def -- PREPROCESSOR-COMMAND...
"""

from __future__ import annotations

import re
import subprocess
import sys
import tempfile
from pathlib import Path

# Python.h and the public headers it leaves out, as an extension would include them.
PROBE = """
#include <Python.h>
#include <datetime.h>
#include <frameobject.h>
#include <marshal.h>
#include <structmember.h>
"""

IMPORT_MARK = re.compile(r"__declspec\s*\(\s*dllimport\s*\)|__attribute__\s*\(\(\s*_*dllimport_*\s*\)\)")
LINE_MARKER = re.compile(r'#\s*(?:line\s+)?\d+\s+"(.*)"')


def strip_balanced(text: str, opener: str) -> str:
    """Removes every `opener(...)`, parentheses balanced (attributes, declspecs)."""
    while (start := text.find(opener)) != -1:
        depth, position = 0, start + len(opener)
        while position < len(text):
            depth += {"(": 1, ")": -1}.get(text[position], 0)
            position += 1
            if depth == 0:
                break
        text = text[:start] + " " + text[position:]
    return text


def export_of(declaration: str) -> tuple[str, bool]:
    """The name a marked declaration declares, and whether it is data rather than a function."""
    text = strip_balanced(strip_balanced(declaration, "__attribute__"), "__declspec")
    if pointer := re.search(r"\(\s*\*\s*(\w+)\s*\)", text):  # a function pointer variable
        return pointer.group(1), True
    if call := re.search(r"(\w+)\s*\(", text):
        return call.group(1), False
    name = re.search(r"(\w+)\s*(\[[^\]]*\]\s*)*$", text.strip())
    if name is None:
        raise ValueError(f"cannot tell what this declares: {declaration!r}")
    return name.group(1), True


def exports(preprocessed: str, include: Path) -> dict[str, bool]:
    # Only what the preprocessor took from CPython's headers, found through its line markers.
    ours, in_ours = [], False
    for line in preprocessed.splitlines():
        if marker := LINE_MARKER.match(line):
            in_ours = Path(marker.group(1)).resolve().is_relative_to(include)
        elif in_ours:
            ours.append(line)
    found: dict[str, bool] = {}
    for statement in " ".join(ours).split(";"):
        marks = list(IMPORT_MARK.finditer(statement))
        if marks:
            name, is_data = export_of(statement[marks[-1].start() :])
            found[name] = is_data
    return found


def main(arguments: list[str]) -> int:
    include, output, separator, *preprocessor = arguments
    if separator != "--" or not preprocessor:
        print(__doc__, file=sys.stderr)
        return 2
    with tempfile.TemporaryDirectory() as work:
        probe = Path(work) / "probe.c"
        probe.write_text(PROBE)
        preprocessed = subprocess.run(
            [*preprocessor, "-E", "-I", include, str(probe)], check=True, capture_output=True, text=True
        ).stdout
    found = exports(preprocessed, Path(include).resolve())
    if "PyModuleDef_Init" not in found or not found.get("PyExc_TypeError"):
        print("python_exports: the headers did not declare what every extension uses", file=sys.stderr)
        return 1
    lines = ["LIBRARY python313.dll", "EXPORTS"]
    lines += [f"    {name} DATA" if is_data else f"    {name}" for name, is_data in sorted(found.items())]
    Path(output).write_text("\n".join(lines) + "\n")
    print(f"python_exports: {len(found)} exports ({sum(found.values())} data) written to {output}")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
