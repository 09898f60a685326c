"""Each extension's stub file names the functions and classes the module has, with the parameters
they take (kinds and defaults included), and each class's methods and properties."""

import ast
import inspect
import types
from pathlib import Path

import pytest

import morvane
import morvane._morvane_backend as backend
import morvane._morvane_tasks as tasks

from operations import OPERATIONS, SPECIFIED


def default_value(node: ast.expr) -> object:
    """A literal, or a member of one of the package's enums (RegisterMode.CREATE_OR_UPDATE)."""
    if isinstance(node, ast.Attribute) and isinstance(node.value, ast.Name):
        return getattr(getattr(morvane, node.value.id), node.attr)
    return ast.literal_eval(node)


def stub_signature(node: ast.FunctionDef) -> str:
    """The signature as inspect renders it, without annotations."""
    arguments = node.args
    positional = arguments.posonlyargs + arguments.args
    defaults = [None] * (len(positional) - len(arguments.defaults)) + arguments.defaults
    parts = [a.arg + (f"={default_value(d)!r}" if d else "") for a, d in zip(positional, defaults)]
    if arguments.posonlyargs:
        parts.insert(len(arguments.posonlyargs), "/")
    if arguments.kwonlyargs:
        parts.append("*")
        parts += [a.arg + (f"={default_value(d)!r}" if d else "")
                  for a, d in zip(arguments.kwonlyargs, arguments.kw_defaults)]
    return f"({', '.join(parts)})"


@pytest.mark.parametrize("module", [backend, tasks], ids=lambda module: module.__name__)
def test_the_stub_matches_the_module(module):
    stub = ast.parse(Path(module.__file__).with_name(module.__name__.split(".")[-1] + ".pyi").read_text())
    declared = {node.name: stub_signature(node) for node in stub.body if isinstance(node, ast.FunctionDef)}
    # A stub's private classes (protocols of its parameters) exist for type checkers only.
    classes = {node.name: node for node in stub.body if isinstance(node, ast.ClassDef) and node.name[0] != "_"}
    public = {name for name in dir(module) if not name.startswith("_")}
    assert set(declared) | set(classes) == public
    assert declared == {name: str(inspect.signature(getattr(module, name))) for name in declared}
    for name, node in classes.items():
        check_class(getattr(module, name), node)


def check_class(cls: type, node: ast.ClassDef) -> None:
    """The class's own methods and properties are the stub's, and so are the signatures of its
    constructor and methods."""
    methods = {n.name: n for n in node.body if isinstance(n, ast.FunctionDef)}
    properties = {name for name, n in methods.items() if any(getattr(d, "id", None) == "property"
                                                             for d in n.decorator_list)}
    own = {name for name in vars(cls) if not name.startswith("_") or name in ("__enter__", "__exit__")}
    assert own == set(methods) - {"__init__"}
    for name in properties:
        assert isinstance(vars(cls)[name], types.GetSetDescriptorType)
    init = stub_signature(methods["__init__"]).replace("(self, ", "(").replace("(self)", "()")
    assert str(inspect.signature(cls)) == init
    # A C method's self is positional-only; stubs leave that implied.
    implied = {name: str(inspect.signature(getattr(cls, name))).replace("(self, /", "(self")
               for name in own - properties}
    assert {name: stub_signature(methods[name]) for name in own - properties} == implied


def docstrings(nodes) -> dict[str, str | None]:
    return {node.name: ast.get_docstring(node) for node in nodes if isinstance(node, ast.FunctionDef)}


def test_help_shows_the_stubs_docstrings():
    """The operations of the tasks module and every Scheduler method carry their stub's
    docstring at run time; the four functions of the backend keep none."""
    stub = ast.parse(Path(tasks.__file__).with_name("_morvane_tasks.pyi").read_text())
    functions = docstrings(stub.body)
    assert functions and all(functions.values())
    assert {name: getattr(tasks, name).__doc__ for name in functions} == functions
    scheduler = next(node for node in stub.body if isinstance(node, ast.ClassDef) and node.name == "Scheduler")
    methods = {name: doc for name, doc in docstrings(scheduler.body).items() if doc}
    assert set(methods) == {operation.name for operation in OPERATIONS} | {
        "close", "computer", "connected_user", "connected_domain"
    }
    assert {name: getattr(tasks.Scheduler, name).__doc__ for name in methods} == methods
    assert [getattr(backend, operation.name).__doc__ for operation in SPECIFIED] == [None] * 4
