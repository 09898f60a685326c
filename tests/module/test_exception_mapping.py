"""How a failure of the scheduler becomes the package's exception (morvane.errors is imported and
its class called afresh on every failure, whatever that does), and PanicException: what an
internal failure raises, and what happens when Python code raises one while the module runs it."""

import builtins
import importlib.util
import pickle
import sys
import types

import pytest

import morvane
import morvane._morvane_backend as backend
import morvane.errors
from morvane import TaskPermissionError, TaskSchedulerError, emulator

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator

ACCESS_DENIED = 0x80070005
FAILED = 0x80004005
UNWRAP = "called `Result::unwrap()` on an `Err` value: "
RESUMING = "--- morvane: resuming an internal failure after fetching a PanicException from Python ---"


def scheduler_failure(code=FAILED, function=None):
    """What a failing GetTask makes the function raise (task_exists unless another is given)."""
    emulator.fail_next("GetTask", code)
    with pytest.raises(BaseException) as raised:
        (function or morvane.task_exists)("x")
    return raised.value


def internal_failure(function=None):
    """What a BSTR allocation failure, which the module treats as impossible, raises."""
    emulator.fail_next("SysAllocStringLen", 0)
    with pytest.raises(BaseException) as raised:
        (function or morvane.task_exists)("x")
    return raised.value


@pytest.fixture
def panic_type(capfd):
    panic = type(internal_failure())
    capfd.readouterr()  # the report of that failure is not what the test looks at
    return panic


class Recorded(Exception):
    pass


def recorder(calls, name):
    def make(*args, **kwargs):
        calls.append((name, args, kwargs))
        return Recorded(name)

    return make


@pytest.mark.parametrize(
    "code, chosen",
    [
        (ACCESS_DENIED, "TaskPermissionError"),
        (0x80070006, "TaskSchedulerError"),  # the code after access denied
        (0xC0070005, "TaskSchedulerError"),  # access denied's low bits under another severity
        (FAILED, "TaskSchedulerError"),
        (0, "TaskSchedulerError"),  # success without an object
    ],
    ids=lambda value: hex(value) if isinstance(value, int) else value,
)
def test_the_class_is_chosen_by_code_and_called_with_three_positionals(monkeypatch, code, chosen):
    calls = []
    errors = types.ModuleType("morvane.errors")
    errors.TaskSchedulerError = recorder(calls, "TaskSchedulerError")
    errors.TaskPermissionError = recorder(calls, "TaskPermissionError")
    # The module is taken from sys.modules by the import, not from a reference held since before.
    monkeypatch.setitem(sys.modules, "morvane.errors", errors)

    raised = scheduler_failure(code)

    assert type(raised) is Recorded and raised.args == (chosen,)
    [(name, (message, hresult, operation), kwargs)] = calls
    assert (name, hresult, operation, kwargs) == (chosen, code, "GetTask", {})
    assert type(message) is str and type(hresult) is int and type(operation) is str
    # A code the system has no text for is its own message: "0xC0070005".
    assert message == f"0x{code:08X}" or message.endswith(f" (0x{code:08X})")


def test_the_class_is_looked_up_again_on_every_failure(monkeypatch):
    assert type(scheduler_failure()) is TaskSchedulerError
    monkeypatch.setattr(morvane.errors, "TaskSchedulerError", lambda *args: Recorded(*args))
    replaced = scheduler_failure()
    assert type(replaced) is Recorded
    assert replaced.args == ("Unspecified error (0x80004005)", FAILED, "GetTask")
    monkeypatch.undo()
    assert type(scheduler_failure()) is TaskSchedulerError


RAISED_BY_CLASS = LookupError("from the class")
RETURNED = ValueError("returned, not raised")
IMPORT_REFUSED = ImportError("no errors module today")


def refusing_import(monkeypatch, refusal):
    real_import = builtins.__import__

    def guarded(name, *args, **kwargs):
        if name == "morvane.errors":
            raise refusal
        return real_import(name, *args, **kwargs)

    monkeypatch.setattr(builtins, "__import__", guarded)


def errors_module_whose_lookups_fail(monkeypatch, error):
    errors = types.ModuleType("morvane.errors")

    def lookup(name):
        raise error

    errors.__getattr__ = lookup
    monkeypatch.setitem(sys.modules, "morvane.errors", errors)


def keyword_only(*, message, hresult, operation):
    return TaskSchedulerError(message, hresult, operation)


def raise_from_class(*args):
    raise RAISED_BY_CLASS


def replaced(name, value):
    return lambda mp: mp.setattr(morvane.errors, name, value)


def removed(name):
    return lambda mp: mp.delattr(morvane.errors, name)


NOT_AN_EXCEPTION = (TypeError, ("exceptions must derive from BaseException",))

MISBEHAVING = [
    # (what is changed, code of the failure, what comes out: that very object, or (type, args))
    pytest.param(
        lambda mp: mp.setitem(sys.modules, "morvane.errors", None), FAILED,
        (ModuleNotFoundError, ("import of morvane.errors halted; None in sys.modules",)), id="module-none",
    ),
    pytest.param(lambda mp: refusing_import(mp, IMPORT_REFUSED), FAILED, IMPORT_REFUSED, id="import-raises"),
    pytest.param(
        removed("TaskSchedulerError"), FAILED,
        (AttributeError, ("module 'morvane.errors' has no attribute 'TaskSchedulerError'",)), id="class-missing",
    ),
    pytest.param(
        removed("TaskPermissionError"), ACCESS_DENIED,
        (AttributeError, ("module 'morvane.errors' has no attribute 'TaskPermissionError'",)),
        id="permission-class-missing",
    ),
    pytest.param(
        lambda mp: errors_module_whose_lookups_fail(mp, RAISED_BY_CLASS), FAILED, RAISED_BY_CLASS,
        id="lookup-raises",
    ),
    pytest.param(replaced("TaskSchedulerError", raise_from_class), FAILED, RAISED_BY_CLASS, id="class-raises"),
    pytest.param(
        replaced("TaskSchedulerError", lambda *a: RETURNED), FAILED, RETURNED, id="returns-other-exception"
    ),
    pytest.param(replaced("TaskSchedulerError", lambda *a: "text"), FAILED, NOT_AN_EXCEPTION, id="returns-str"),
    pytest.param(
        replaced("TaskPermissionError", lambda *a: None), ACCESS_DENIED, NOT_AN_EXCEPTION, id="returns-None"
    ),
    pytest.param(
        replaced("TaskSchedulerError", lambda *a: int), FAILED, NOT_AN_EXCEPTION, id="returns-non-exception-class"
    ),
    pytest.param(
        replaced("TaskSchedulerError", lambda *a: KeyError), FAILED, (KeyError, ()), id="returns-exception-class"
    ),
    pytest.param(
        replaced("TaskSchedulerError", keyword_only), FAILED,
        (TypeError, ("keyword_only() takes 0 positional arguments but 3 were given",)), id="keyword-only",
    ),
]


@pytest.mark.parametrize("change, code, expected", MISBEHAVING)
def test_a_misbehaving_errors_module_decides_what_is_raised(monkeypatch, change, code, expected):
    change(monkeypatch)
    raised = scheduler_failure(code)
    if isinstance(expected, BaseException):
        assert raised is expected
    else:
        assert (type(raised), raised.args) == expected


def test_the_shipped_exception():
    assert morvane.TaskSchedulerError is morvane.errors.TaskSchedulerError
    assert morvane.TaskPermissionError is morvane.errors.TaskPermissionError
    assert TaskSchedulerError.__bases__ == (Exception,)
    emulator.fail_next("DeleteTask", ACCESS_DENIED)
    with pytest.raises(TaskPermissionError) as raised:
        morvane.delete_task("x")
    error = raised.value
    message = "Access is denied. (0x80070005)"
    assert type(error) is TaskPermissionError and isinstance(error, TaskSchedulerError)
    assert error.args == (message, ACCESS_DENIED, "DeleteTask")
    assert (error.message, error.hresult, error.operation) == error.args
    assert str(error) == "DeleteTask failed: Access is denied. (0x80070005)"

    copy = pickle.loads(pickle.dumps(error))
    assert type(copy) is TaskPermissionError and copy.args == error.args
    assert str(copy) == str(error)


def test_an_internal_failure_raises_panic_exception(capfd):
    panic = internal_failure()
    panic_type = type(panic)

    assert (panic_type.__name__, panic_type.__qualname__, panic_type.__module__) == (
        "PanicException", "PanicException", "pyo3_runtime")
    assert panic_type.__bases__ == (BaseException,)
    assert not issubclass(panic_type, Exception)  # "except Exception" lets it through
    assert panic_type.__doc__.startswith("\n") and "BaseException" in panic_type.__doc__
    [message] = panic.args
    assert message.startswith(UNWRAP) and str(panic) == message
    assert f"morvane: internal failure: {UNWRAP}" in capfd.readouterr().err
    # The type belongs to no module: nothing lists it or imports it.
    assert "pyo3_runtime" not in sys.modules
    assert not hasattr(backend, "PanicException") and not hasattr(morvane, "PanicException")


def test_panic_exception_is_one_type_for_the_process(panic_type):
    found = importlib.util.find_spec("morvane._morvane_backend")
    second = importlib.util.module_from_spec(found)
    found.loader.exec_module(second)

    again, from_second = internal_failure(), internal_failure(second.task_exists)
    assert type(again) is panic_type and type(from_second) is panic_type
    assert again is not from_second


class Unprintable:
    def __str__(self):
        raise RuntimeError("no text")


def panic_from_class(monkeypatch, panic):
    def raise_panic(*args):
        raise panic

    monkeypatch.setattr(morvane.errors, "TaskSchedulerError", raise_panic)


@pytest.mark.parametrize(
    "where", ["class-call", "attribute-lookup", "import"],
)
@pytest.mark.parametrize(
    "arguments, message",
    [
        (("boom",), "boom"),
        (("a", 1), "('a', 1)"),  # the message is str() of the exception
        ((Unprintable(),), "Unwrapped panic from Python code"),
    ],
    ids=["message", "two-args", "str-fails"],
)
def test_a_panic_raised_by_python_code_is_resumed_as_a_new_one(monkeypatch, capfd, panic_type, where, arguments,
                                                               message):
    raised_in_python = panic_type(*arguments)
    if where == "class-call":
        panic_from_class(monkeypatch, raised_in_python)
    elif where == "attribute-lookup":
        errors_module_whose_lookups_fail(monkeypatch, raised_in_python)
    else:
        refusing_import(monkeypatch, raised_in_python)

    raised = scheduler_failure()

    assert type(raised) is panic_type and raised is not raised_in_python
    assert raised.args == (message,)
    lines = capfd.readouterr().err.splitlines()
    start = lines.index(RESUMING)
    assert lines[start + 1] == "Python stack trace below:"
    assert lines[start + 2] == "Traceback (most recent call last):"
    assert f"morvane: internal failure: {message}" in lines[start + 3:]
    if arguments == ("boom",):
        assert "pyo3_runtime.PanicException: boom" in lines[start + 3:]


def test_a_panic_subclass_raised_by_python_code_comes_out_unchanged(monkeypatch, capfd, panic_type):
    class Subclass(panic_type):
        pass

    raised_in_python = Subclass("boom")
    panic_from_class(monkeypatch, raised_in_python)

    assert scheduler_failure() is raised_in_python
    assert "morvane:" not in capfd.readouterr().err
