"""The rules that let the suite run where Windows' own scheduler answers: the stand-in for the
emulator, and the table of what Wine's service lacks."""

import ast
import pathlib

import pytest

import conftest
from windows_python import wine_gaps

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.mark.parametrize("table", [wine_gaps.WINE_LACKS, wine_gaps.NOT_ON_WINDOWS], ids=["wine", "windows"])
def test_each_line_names_a_test_that_exists(table):
    """A renamed or removed test leaves its line behind; pytest would never say so."""
    for nodeid in table:
        path, _, name = nodeid.split("[")[0].partition("::")
        tree = ast.parse((ROOT / path).read_text(encoding="utf-8"))
        names = {node.name for node in tree.body if isinstance(node, ast.FunctionDef)}
        assert name in names, f"{nodeid} is not a test of {path}"
    assert not set(wine_gaps.WINE_LACKS) & set(wine_gaps.NOT_ON_WINDOWS)


def test_a_use_of_the_missing_emulator_fails_with_the_mark_to_use():
    stand_in = conftest._NoEmulator("morvane.emulator")
    assert not hasattr(stand_in, "trigger_run_times")  # the feature checks at import time read None
    with pytest.raises(AttributeError, match="marked emulator"):
        stand_in.fail_next("GetTask", 5)
