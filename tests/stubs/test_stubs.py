"""Each extension's stub file names the functions the module has, with the parameters it takes
(kinds and defaults included)."""

import ast
import inspect
from pathlib import Path

import pytest

import morvane._morvane_backend as backend
import morvane._morvane_tasks as tasks


def stub_signature(node: ast.FunctionDef) -> str:
    """The signature as inspect renders it, without annotations."""
    arguments = node.args
    defaults = [None] * (len(arguments.args) - len(arguments.defaults)) + arguments.defaults
    parts = [a.arg + (f"={ast.literal_eval(d)!r}" if d else "") for a, d in zip(arguments.args, defaults)]
    if arguments.kwonlyargs:
        parts.append("*")
        parts += [a.arg + (f"={ast.literal_eval(d)!r}" if d else "")
                  for a, d in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    return f"({', '.join(parts)})"


@pytest.mark.parametrize("module", [backend, tasks], ids=lambda module: module.__name__)
def test_the_stub_matches_the_module(module):
    stub = ast.parse(Path(module.__file__).with_name(module.__name__.split(".")[-1] + ".pyi").read_text())
    declared = {node.name: stub_signature(node) for node in stub.body if isinstance(node, ast.FunctionDef)}
    public = {name for name in dir(module) if not name.startswith("_")}
    assert set(declared) == public
    assert declared == {name: str(inspect.signature(getattr(module, name))) for name in public}
