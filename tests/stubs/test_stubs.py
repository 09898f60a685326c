"""The extension's stub file names the functions the module has, with the parameters it takes."""

import ast
import inspect
from pathlib import Path

import morvane._morvane_backend as backend


def test_the_stub_matches_the_module():
    stub = ast.parse(Path(backend.__file__).with_name("_morvane_backend.pyi").read_text())
    declared = {
        node.name: f"({', '.join(argument.arg for argument in node.args.args)})"
        for node in stub.body
        if isinstance(node, ast.FunctionDef)
    }
    public = {name for name in dir(backend) if not name.startswith("_")}
    assert set(declared) == public
    assert declared == {name: str(inspect.signature(getattr(backend, name))) for name in public}
