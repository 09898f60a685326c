"""The rules that let the suite run where Windows' own scheduler answers: the stand-in for the
emulator, and the table of what Wine's service lacks."""

import ast
import pathlib

import pytest

import conftest
from windows_python import wine_gaps

ROOT = pathlib.Path(__file__).resolve().parents[2]


def test_each_expected_failure_names_a_test_that_exists():
    """A renamed or removed test leaves its line behind; pytest would never say so."""
    for nodeid, reason in wine_gaps.EXPECTED_FAILURES.items():
        path, _, name = nodeid.partition("::")
        name = name.split("[")[0]
        tree = ast.parse((ROOT / path).read_text(encoding="utf-8"))
        names = {node.name for node in tree.body if isinstance(node, ast.FunctionDef)}
        assert name in names, f"{nodeid} is not a test of {path}"
        assert reason.startswith("Wine's service"), reason


def test_a_use_of_the_missing_emulator_fails_with_the_mark_to_use():
    stand_in = conftest._NoEmulator("morvane.emulator")
    assert not hasattr(stand_in, "trigger_run_times")  # the feature checks at import time read None
    with pytest.raises(AttributeError, match="marked emulator"):
        stand_in.fail_next("GetTask", 5)
