"""CreateFolder and DeleteFolder on random sequences of paths, against a model written from the
documentation of ITaskFolder alone: a folder tree kept as a dict of paths, case-insensitive."""

import tempfile

import pytest
from hypothesis import HealthCheck, given, settings, strategies as st

import morvane
from morvane import TaskSchedulerError, emulator

ALREADY_EXISTS = 0x800700B7
NOT_EMPTY = 0x80070091
FILE_NOT_FOUND = 0x80070002
PATH_NOT_FOUND = 0x80070003


class FolderModel:
    """Folders by their folded path (a tuple of folded elements), each with its spelling. From
    CreateFolder's page: a path creates the whole tree that is missing; a folder that exists
    answers 0x800700b7. From DeleteFolder and MS-TSCH SchRpcDelete: only an empty folder goes;
    a missing one is not found, its path missing when a folder above it is."""

    def __init__(self):
        self.folders = {}  # folded path -> spelled path

    @staticmethod
    def folded(path):
        return tuple(element.upper() for element in path)

    def create(self, path):
        if self.folded(path) in self.folders:
            return ALREADY_EXISTS
        spelled = ()
        for depth in range(1, len(path) + 1):
            spelled = self.folders.setdefault(self.folded(path[:depth]), spelled + (path[depth - 1],))
        return 0

    def delete(self, path):
        folded = self.folded(path)
        if folded not in self.folders:
            return FILE_NOT_FOUND if self.folded(path[:-1]) in self.folders or len(path) == 1 else PATH_NOT_FOUND
        if any(other[: len(folded)] == folded and other != folded for other in self.folders):
            return NOT_EMPTY
        del self.folders[folded]
        return 0

    def listing(self):
        # Each folder, then its subfolders, siblings in folded order, as the service lists them.
        return ["\\" + "\\".join(spelled) for _, spelled in sorted(self.folders.items())]


def answer(call):
    try:
        call()
        return 0
    except TaskSchedulerError as error:
        return error.hresult


ELEMENTS = st.sampled_from(["a", "A", "b", "Ops", "OPS", "z9"])
PATHS = st.lists(ELEMENTS, min_size=1, max_size=3).map(tuple)
STEPS = st.lists(st.tuples(st.sampled_from(["create", "delete"]), PATHS), max_size=12)


@pytest.mark.emulator
@settings(max_examples=60, deadline=None, suppress_health_check=[HealthCheck.function_scoped_fixture])
@given(STEPS)
def test_folders_follow_the_documented_model(steps):
    model = FolderModel()
    with tempfile.TemporaryDirectory() as library:  # each example starts from an empty library
        emulator.set_task_library(library)
        for step, path in steps:
            text = "\\".join(path)
            if step == "create":
                assert answer(lambda: morvane.create_folder(text)) == model.create(path), (step, path)
            else:
                assert answer(lambda: morvane.delete_folder(text)) == model.delete(path), (step, path)
            assert morvane.list_folders(recursive=True) == model.listing()
