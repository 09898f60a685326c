"""What `import morvane` and a plain command line load: none of the heavy modules that only some
calls need, and the plain command lines parsed without argparse exactly as argparse parses them."""

import os
import subprocess
import sys

import pytest

from morvane.cli import _parsed_simply, _parser

# Each costs a millisecond or more to import, and a task_exists or an "exists" needs none.
HEAVY = ["argparse", "ast", "ctypes", "dataclasses", "datetime", "inspect", "json", "re", "typing",
         "morvane.definition", "xml.etree.ElementTree"]


@pytest.mark.parametrize(
    "code",
    [
        "import morvane",
        # The console script's path, for a task that does not exist: status 1.
        "import sys; from morvane.cli import main; status = main(['exists', 'Missing']); assert status == 1, status",
    ],
)
def test_start_up_loads_no_heavy_module(tmp_path, code):
    check = f"{code}\nimport sys\nprint(sorted(set(sys.modules) & {set(HEAVY)!r}))"
    done = subprocess.run([sys.executable, "-c", check], capture_output=True, text=True, timeout=60,
                          env={**os.environ, "MORVANE_TASK_LIBRARY": str(tmp_path)})
    assert (done.returncode, done.stdout, done.stderr) == (0, "[]\n", "")


def test_lazy_names_are_there_when_asked_for():
    done = subprocess.run([sys.executable, "-c", "import morvane; print(morvane.TaskInfo.__module__, "
                           "morvane.read_task_xml.__module__, 'TaskState' in dir(morvane), "
                           "morvane.DayOfWeek is morvane.definition.DayOfWeek, morvane.TaskDefinition.__module__)"],
                          capture_output=True, text=True, timeout=60)
    assert done.stdout == "morvane.task_records morvane.task_file True True morvane.definition.task_definition\n"


@pytest.mark.parametrize(
    "argv, plain",
    [
        (["exists", "Backup"], True),
        (["run", "Tools\\Backup"], True),
        (["--task-library", "lib", "delete", "Backup"], True),
        (["stop", "Backup", "--task-library", "lib", "--create-library"], True),
        (["--task-library", "one", "enable", "Backup", "--task-library", "two"], True),
        # Shapes that argparse alone parses, or refuses with its usage.
        *[(argv, False) for argv in [
            ["exists"], ["exists", "A", "B"], ["exists", ""], ["exists", "-h"], ["exists", "--", "-x"], ["list"],
            ["next", "Backup"], ["info", "Backup", "--json"], ["--task-lib", "lib", "exists", "Backup"],
            ["--task-library", "--create-library", "exists", "Backup"], ["exists", "Backup", "--task-library"],
        ]],
    ],
)
def test_plain_command_lines_parse_as_argparse_parses_them(argv, plain):
    parsed = _parsed_simply(argv)
    if plain:
        assert vars(parsed) == vars(_parser().parse_args(argv))
    else:
        assert parsed is None
