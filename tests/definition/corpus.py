"""The project's corpus of task definitions: the examples, the fuzz seeds and the fidelity
inputs, as (name, text)."""

import pathlib
import re
import urllib.parse

from morvane.task_file import read_task_xml

TESTS = pathlib.Path(__file__).resolve().parent.parent
ROOT = TESTS.parent


def _decoded(field):
    # The fidelity table's encoding: %{N*text} repeats text N times, %XX is a byte.
    field = re.sub(r"%\{(\d+)\*([^}]*)\}", lambda found: found.group(2) * int(found.group(1)), field)
    return urllib.parse.unquote_to_bytes(field).decode("utf-8", "replace").removeprefix("\ufeff")


def definitions():
    files = sorted(ROOT.glob("examples/*.xml")) + sorted(TESTS.glob("fuzz/corpus/definition_checks/*.xml"))
    found = [(path.name, read_task_xml(path)) for path in files]
    for line in (TESTS / "fidelity" / "inputs.tsv").read_text(encoding="utf-8").splitlines():
        fields = line.split("\t")
        if fields[0] == "define":
            found.append((f"fidelity:{fields[1]}", _decoded(fields[2])))
    return found
