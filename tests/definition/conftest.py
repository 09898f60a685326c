"""Where Windows' own service answers, every test shares one store: the tasks these tests
register are deleted after each."""

import pytest

import morvane

REGISTERED = ("Corpus", "Random", "Kept", "Bound")


@pytest.fixture(autouse=True)
def delete_registered():
    yield
    for name in REGISTERED:
        if morvane.task_exists(name):
            morvane.delete_task(name)
