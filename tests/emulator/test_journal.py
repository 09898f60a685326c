"""The call journal and the violations list as seen from Python."""

import pytest

import morvane
from morvane import emulator

# Each test here drives the emulator (faults, journals, its task library, its runs).
pytestmark = pytest.mark.emulator


def test_journal_records_the_calls_of_an_operation_with_their_arguments():
    with emulator.journal() as records:
        assert morvane.task_exists("Missing") is False
    calls = [record.call for record in records if record.call != "SysStringLen"]
    assert calls[0] == "CoInitializeEx" and calls[-1] == "CoUninitialize"
    get_task = next(record for record in records if record.call == "GetTask")
    assert get_task.arguments == 'path="Missing", task=null'
    assert get_task.result == -2147024894  # HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)
    assert get_task.apartments == 1 and get_task.object != 0
    assert records[-1].result is None  # CoUninitialize returns nothing


def test_no_record_outside_the_block_and_no_violation_from_the_client():
    with emulator.journal() as records:
        pass
    morvane.task_exists("Missing")
    assert records == []
    assert emulator.violations() == []
