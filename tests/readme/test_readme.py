"""README's commands run as written: its shell lines against the installed package (the
scripts it names are checked, not run: they install and test everything), its Python blocks in
order, and the example test it shows is the file in examples/."""

import os
import re
import shutil
import subprocess
import sys
from pathlib import Path

import pytest

ROOT = Path(__file__).parents[2]
BLOCK = re.compile(r"^```(\w+)\n(.*?)^```$", re.DOTALL | re.MULTILINE)
# A leading "scripts/NAME" or "scripts/NAME && ": README's entry points, which take minutes.
SCRIPT = re.compile(r"^(scripts/\w+)(?:\s*&&\s*|$)")


def blocks(language):
    return [text for found, text in BLOCK.findall((ROOT / "README.md").read_text()) if found == language]


@pytest.fixture
def examples_copy(tmp_path, monkeypatch):
    """A folder holding a copy of examples/, made the current one, with the library in it."""
    shutil.copytree(ROOT / "examples", tmp_path / "examples")
    monkeypatch.chdir(tmp_path)
    return tmp_path


def test_shell_lines(examples_copy):
    bin_directory = str(Path(sys.executable).parent) + os.sep
    environment = dict(os.environ, MORVANE_TASK_LIBRARY=str(examples_copy / "library"))
    scripts, output = [], ""
    for line in "\n".join(blocks("sh")).splitlines():
        while script := SCRIPT.match(line):
            scripts.append(script.group(1))
            line = line[script.end():]
        if not line.strip():
            continue
        # .venv/bin is the venv of the package under test: the one running these tests.
        done = subprocess.run(
            ["bash", "-c", line.replace(".venv/bin/", bin_directory)],
            env=environment, capture_output=True, text=True, timeout=120,
        )
        assert (done.returncode, done.stderr) == (0, ""), line
        output += done.stdout
    assert scripts == ["scripts/install", "scripts/test"]
    for script in scripts:
        assert os.access(ROOT / script, os.X_OK)
        subprocess.run(["bash", "-n", ROOT / script], check=True)
    # The main job and the command line's round both saw the task start, and its end.
    assert output.count(" whoami (pid ") == 3  # the command line runs the example twice
    assert "registered, ran and deleted 'morvane example'" in output
    assert "Example is registered\n" in output and output.endswith("Example is gone\n")


def test_python_blocks(examples_copy, capsys):
    namespace: dict[str, object] = {}
    for text in blocks("python"):
        first_line = text.splitlines()[0]
        if first_line.startswith("# examples/"):  # shown, and the same as the file it names
            assert text == (ROOT / first_line[2:].split(":")[0]).read_text()
        else:
            exec(compile(text, "README.md", "exec"), namespace)
    assert "DeleteTask failed: The system cannot find the file specified. (0x80070002)" in capsys.readouterr().out
