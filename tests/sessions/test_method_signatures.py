"""Each Scheduler method is made from the same catalogue row as its module function: the same
parameters after $self, and the same docstring where the function shows one."""

import pytest

from morvane import _morvane_backend as backend
from morvane import _morvane_tasks as tasks

OPERATIONS = [(backend, name) for name in backend.__all__] + [
    (tasks, name) for name in tasks.__all__ if name != "Scheduler"
]


@pytest.mark.parametrize(("module", "name"), OPERATIONS, ids=[name for _, name in OPERATIONS])
def test_a_method_takes_its_functions_parameters_after_self(module, name):
    function, method = getattr(module, name), getattr(tasks.Scheduler, name)
    assert function.__text_signature__.startswith("(")
    assert method.__text_signature__ == "($self, " + function.__text_signature__[1:]
    assert method.__doc__  # help(Scheduler) says what each method does
    if function.__doc__ is not None:
        assert method.__doc__ == function.__doc__
