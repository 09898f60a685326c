"""What keeps tests from passing where Windows' own scheduler answers, in one place: the tests that
only a POSIX host or the emulator's per-test task library can run (skipped on Windows, with the
reason), and the tests that pass against Windows' service but not against Wine's (expected
failures under Wine, with Wine's answer)."""

import functools
import sys

import pytest

# Wine's answers (its dlls/taskschd): E_NOTIMPL (0x80004001) from IRegisteredTask::RunEx and
# get_LastTaskResult, and from IRegisteredTaskCollection::get_Count; its get_Xml writes the
# definition anew from what it keeps, without the Exec action's command.
RUN_EX = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTask::RunEx"
LAST_RESULT = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTask::get_LastTaskResult"
COUNT = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTaskCollection::get_Count"
XML = "Wine's service regenerates the definition in get_Xml and drops the Exec action's command"
CHECKS = "Wine's service registers definitions that Windows refuses (it checks less of the schema)"
MISSING_TASK = ("Wine's service answers ERROR_PATH_NOT_FOUND (0x80070003) from GetTask for a missing task "
                "of the root folder, where Windows answers ERROR_FILE_NOT_FOUND (0x80070002)")
DELETE_MISSING = ("Wine's service answers the first DeleteTask of a task in a missing folder with success "
                  "(Windows: ERROR_FILE_NOT_FOUND), and the listing after it needs get_Count (E_NOTIMPL)")
SECURITY = ("Wine's service answers E_NOTIMPL (0x80004001) for GetSecurityDescriptor and "
            "SetSecurityDescriptor of tasks and folders, and ignores CreateFolder's SDDL")
BAD_NETPATH = ("Wine's service answers every name but the computer's own (localhost and . included) with "
               "ERROR_BAD_NETPATH (0x80070035)")
STOP = "Wine's service answers E_NOTIMPL (0x80004001) for IRegisteredTask::Stop"
REFUSAL_TEXT = ("Wine's service refuses a definition without the position (line, column) that Windows' "
                "refusal gives, or registers one that Windows refuses")

# The definitions of the corpus that Wine's service registers: those Windows refuses (it checks
# less), and those Windows takes too, whose read-back lacks the Exec action's command.
CORPUS_WINE_REGISTERS = [
    "example_task.utf16.xml",
    "example_task.utf8.xml",
    "declared_utf16.xml",
    "disabled_two_actions.xml",
    "exec_with_arguments.xml",
    "exported_nightly.xml",
    "no_actions.xml",
    "utf16le.xml",
    "fidelity:utf16",
    "fidelity:utf8",
    "fidelity:no-declaration",
    "fidelity:byte-order-mark",
    "fidelity:non-ascii",
    "fidelity:long-description",
    "fidelity:two-roots",
    "fidelity:text-after-root",
    "fidelity:bad-character-reference",
    "fidelity:undefined-entity",
    "fidelity:no-version",
    "fidelity:unknown-version",
    "fidelity:no-actions",
    "fidelity:empty-actions",
    "fidelity:exec-without-command",
    "fidelity:unknown-element",
    "fidelity:unknown-setting",
    "fidelity:duplicate-settings",
    "fidelity:schema-unknown-in-exec",
    "fidelity:schema-bad-start-boundary",
    "fidelity:schema-february-30",
    "fidelity:schema-foreign-namespace",
    "fidelity:schema-event-out-of-order",
    "fidelity:schema-calendar-without-schedule",
    "fidelity:schema-repetition-without-interval",
    "fidelity:schema-bad-duration",
    "fidelity:schema-bad-policy",
    "fidelity:schema-priority-11",
    "fidelity:schema-bad-logon-type",
    "fidelity:schema-two-principals",
    "fidelity:schema-context-without-principal",
    "fidelity:schema-duplicate-id",
    "fidelity:schema-49-triggers",
    "fidelity:schema-unknown-attribute",
    "fidelity:schema-exported",
]
CORPUS_READ_BACK = f"{CHECKS}; {XML}"

# What each operation of the descriptor table meets under Wine with the default descriptor (the
# others pass); every other descriptor is set with SetSecurityDescriptor first.
DESCRIPTOR_TABLE = "tests/security/test_task_security.py::test_what_a_descriptor_lets_the_caller_do"
DESCRIPTOR_OPERATIONS = ["listed", "info", "xml", "security", "run", "stop", "disable", "register over",
                         "set security", "delete"]
DEFAULT_DESCRIPTOR_LACKS = {"listed": COUNT, "info": LAST_RESULT, "security": SECURITY, "run": RUN_EX,
                            "stop": STOP, "set security": SECURITY}

# Test (path from the rootdir :: name, with parameters for only those cases, or without for all)
# -> why it fails under Wine only.
WINE_LACKS: dict[str, str] = {
    **{f"tests/definition/test_round_trip.py::"
       f"test_each_accepted_definition_of_the_corpus_reads_writes_and_reads_back_equal[{name}]": CORPUS_READ_BACK
       for name in CORPUS_WINE_REGISTERS},
    "tests/definition/test_round_trip.py::test_random_models_survive_the_service_unchanged": XML,
    "tests/definition/test_round_trip.py::test_what_the_model_does_not_hold_is_written_back_where_it_was": XML,
    "tests/definition/test_checks.py::test_each_bound_is_where_the_service_puts_it": CHECKS,
    "tests/cli/test_create.py::test_create_registers_and_replaces_only_with_force": XML,
    "tests/cli/test_task_verbs.py::test_list_folders_and_hidden_tasks": COUNT,
    "tests/tasks/test_task_operations.py::test_listing_a_folder_its_subfolders_and_hidden_tasks": COUNT,
    "tests/tasks/test_task_operations.py::test_a_task_that_never_ran": LAST_RESULT,
    "tests/tasks/test_task_operations.py::test_disabling_and_enabling": LAST_RESULT,
    "tests/tasks/test_task_operations.py::test_the_definition_reads_back_and_registers_again": XML,
    "tests/tasks/test_task_operations.py::test_a_missing_task_is_a_scheduler_error": MISSING_TASK,
    "tests/sessions/test_same_as_functions.py::test_a_method_answers_as_its_function[delete_task-missing]":
        DELETE_MISSING,
    "tests/readme/test_readme.py::test_python_blocks": RUN_EX,
    "tests/cli/test_run_and_stop.py::test_run_says_when_nothing_started": RUN_EX,
    "tests/cli/test_run_and_stop.py::test_stop_says_when_nothing_ran": RUN_EX,
    **{f"tests/cli/test_run_and_stop.py::test_run_waits_for_the_result[{case}]": RUN_EX
       for case in ("ended", "failed", "timed out", "not started")},
    "tests/cli/test_run_and_stop.py::test_running_lists_instances": RUN_EX,
    "tests/cli/test_explained_errors.py::test_a_refused_definition_carries_what_its_code_means": REFUSAL_TEXT,
    "tests/module/test_operations.py::test_the_services_own_refusals[<lambda>-None-RegisterTask0]": CHECKS,
    "tests/module/test_operations.py::test_the_services_own_refusals[<lambda>-None-RegisterTask1]": CHECKS,
    "tests/module/test_operations.py::test_the_services_own_refusals[<lambda>-None-RegisterTask2]": CHECKS,
    "tests/module/test_operations.py::test_the_services_own_refusals[<lambda>-None-GetTask]": CHECKS,
    **{f"{DESCRIPTOR_TABLE}[default-{operation}]": reason for operation, reason in DEFAULT_DESCRIPTOR_LACKS.items()},
    **{f"{DESCRIPTOR_TABLE}[{descriptor}-{operation}]": SECURITY
       for descriptor in ("read-only", "read and run", "denied", "empty DACL") for operation in DESCRIPTOR_OPERATIONS},
    **{f"tests/sessions/test_connect_names.py::test_connect_answers_each_kind_of_name[{case}]": BAD_NETPATH
       for case in ("dot", "localhost", "no such computer", "unspecified address")},
    **{f"tests/security/test_task_security.py::{test}": SECURITY for test in (
        "test_new_tasks_and_folders_get_the_default_and_keep_what_they_are_given",
        "test_a_malformed_descriptor_is_refused_and_changes_nothing",
        "test_a_folder_the_caller_may_not_list_hides_itself_and_refuses_additions",
        "test_the_command_line_prints_and_replaces_descriptors")},
    **{f"tests/security/test_definition_security.py::{test}": SECURITY for test in (
        "test_which_descriptor_a_registration_gives_the_task",
        "test_the_definition_model_carries_the_descriptor_to_the_service")},
}

POSIX = "needs a POSIX host"
OWN_LIBRARY = "needs the emulator's task library of its own (Windows' service keeps one store for every test)"

# Test (with parameters for only those cases, or without for all) -> why it cannot run where
# Windows' own scheduler answers (Windows or Wine alike).
NOT_ON_WINDOWS: dict[str, str] = {
    "tests/cli/test_command_line.py::test_register_reads_each_encoding": f"{POSIX}: os.geteuid",
    "tests/cli/test_command_line.py::test_task_library_chooses_the_library_for_the_call": f"{POSIX}: os.geteuid",
    "tests/cli/test_command_line.py::test_a_reader_that_goes_away_gets_no_traceback": OWN_LIBRARY,
    "tests/cli/test_command_line.py::test_python_m_morvane_and_the_console_script":
        "passes --task-library, which exists only where the emulated scheduler is used",
    "tests/cli/test_command_line.py::test_a_library_named_on_the_command_line_is_the_one_used":
        "passes --task-library, which exists only where the emulated scheduler is used",
    "tests/cli/test_task_file.py::test_a_file_that_cannot_be_read_raises_oserror": f"{POSIX}: file modes",
    "tests/sessions/test_lifetime.py::test_a_forked_child_cannot_use_its_parents_scheduler_but_can_open_its_own":
        f"{POSIX}: os.fork",
    "tests/readme/test_readme.py::test_shell_lines": f"{POSIX}: README's shell lines",
    "tests/plugin/test_scheduled_tasks.py::test_a_users_pytest_run": OWN_LIBRARY,
    "tests/plugin/test_scheduled_tasks.py::test_the_ini_option_gives_every_test_a_private_library": OWN_LIBRARY,
    "tests/sessions/test_same_as_functions.py::test_opening_fails_as_a_call_would": "needs morvane.emulator",
    "tests/sessions/test_lifetime.py::test_closing_and_the_with_block": OWN_LIBRARY,
    "tests/cli/test_command_line.py::test_a_name_that_lost_its_backslashes_gets_how_to_quote_it": OWN_LIBRARY,
    "tests/cli/test_command_line.py::test_output_that_cannot_be_written_is_one_line_and_status_2":
        f"{POSIX}: /dev/full",
    "tests/cli/test_command_line.py::test_export_to_a_terminal_is_text_to_read": f"{POSIX}: a pseudo-terminal",
    "tests/folders/test_folder_operations.py::test_folders_are_made_listed_and_removed": OWN_LIBRARY,
    "tests/folders/test_folder_operations.py::test_folders_hold_tasks_and_list_none_of_them": OWN_LIBRARY,
    "tests/folders/test_folder_operations.py::test_refusals_raise_the_service_answer": OWN_LIBRARY,
    "tests/cli/test_folder_verbs.py::test_mkdir_folders_rmdir": OWN_LIBRARY,
    "tests/cli/test_folder_verbs.py::test_failures_are_one_line_with_their_status": OWN_LIBRARY,
    "tests/cli/test_folder_verbs.py::test_rmdir_names_the_folder_a_shell_stripped_of_backslashes": OWN_LIBRARY,
    **{f"tests/cli/test_start_up.py::test_plain_command_lines_parse_as_argparse_parses_them[argv{case}-True]":
       "passes --task-library, which exists only where the emulated scheduler is used" for case in (2, 3, 4)},
}

# Tests after which Wine's service fails every call: skipped under Wine, so that the tests after
# them still run.
WINE_BREAKS: dict[str, str] = {
    "tests/tasks/test_references.py::test_repeated_calls_keep_no_reference":
        "repeats every operation 51 times, after which Wine's service answers E_OUTOFMEMORY (0x8007000E) "
        f"from every GetFolder; and {LAST_RESULT}",
}


@functools.cache
def under_wine() -> bool:
    if sys.platform != "win32":
        return False
    import ctypes

    return hasattr(ctypes.WinDLL("ntdll"), "wine_get_version")


def mark(items) -> None:
    """Skips what Windows cannot run; under Wine, marks what Wine lacks as an expected failure
    (strict: a test that starts to pass says that its line can go)."""
    for item in items:
        test = item.nodeid.split("[")[0]
        if reason := NOT_ON_WINDOWS.get(item.nodeid, NOT_ON_WINDOWS.get(test)):
            item.add_marker(pytest.mark.skip(reason=reason))
        elif under_wine() and (reason := WINE_BREAKS.get(item.nodeid, WINE_BREAKS.get(test))):
            item.add_marker(pytest.mark.skip(reason=reason))
        elif under_wine() and (reason := WINE_LACKS.get(item.nodeid, WINE_LACKS.get(test))):
            item.add_marker(pytest.mark.xfail(reason=reason, strict=True))
