// driver.cpp: checks the Windows build of the scheduler client against a real Task Scheduler
// service (Wine's, in a throw-away prefix): each check prints one line, the sessions' measure a
// "bench:" line, then "N passed, M failed". Standard input carries the table of local offsets
// that the C runtime's local time must give (tests/windows/local_offsets.py).
//
// The expected answers are what Wine's taskschd and schedsvc give: 0x80070002 / 0x80070003 for a
// missing task / folder, SCHED_E_MALFORMEDXML for text that is not XML, E_NOTIMPL from RunEx, from
// the task collection's get_Count and from get_LastTaskResult; ERROR_ALREADY_EXISTS (0x800700B7)
// for a create-only registration of an existing task, 0x80070002 for an update-only one of a
// missing task, as on Windows.
// Failure texts are predicted from FormatMessageW, read here independently of the client.
#include <windows.h>

#include <objbase.h>

#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <string_view>

#include "check_report.hpp"
#include "credential_checks.hpp"
#include "folder_checks.hpp"
#include "instance_checks.hpp"
#include "local_offset_checks.hpp"
#include "register_mode_checks.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/task_properties.hpp"
#include "session_checks.hpp"
#include "stored_definition.hpp"
#include "system_text.hpp"

namespace {

using morvane::scheduler::SchedulerError;
namespace client = morvane::scheduler;

constexpr HRESULT file_not_found = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT invalid_argument = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT not_implemented = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT malformed_xml = static_cast<HRESULT>(0x8004131Au);  // SCHED_E_MALFORMEDXML

constexpr std::string_view task_name = "MorvaneWineCheck";
constexpr std::wstring_view wide_task_name = L"MorvaneWineCheck";

// A task definition told apart by its description: Wine's service keeps the description when it
// stores a definition (it rewrites the document and drops the Exec action's children).
std::string task_xml(std::string_view description) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Description>)") +
           std::string(description) + R"(</Description></RegistrationInfo>
  <Settings><Enabled>true</Enabled></Settings>
  <Actions>
    <Exec><Command>cmd.exe</Command><Arguments>/c exit 0</Arguments></Exec>
  </Actions>
</Task>
)";
}

std::string describe(const SchedulerError& error) {
    return std::string(error.operation) + " " + formatted_code(error.code) + " \"" + error.message + "\"";
}

template <class R>
std::string describe_result(const R& result) {
    return result.ok() ? "success" : describe(result.error());
}

std::string describe_exists(const morvane::Result<bool, SchedulerError>& result) {
    if (!result.ok()) return describe(result.error());
    return result.value() ? "true" : "false";
}

bool answers(const morvane::Result<bool, SchedulerError>& result, bool expected) {
    return result.ok() && result.value() == expected;
}

// A failure with that label and code, rendered as the client renders a failure without detail.
template <class R>
bool fails_with(const R& result, std::string_view operation, HRESULT code) {
    if (result.ok()) return false;
    const SchedulerError& error = result.error();
    return error.operation == operation && error.code == code && error.message == expected_message(code);
}

// True when the calling thread is in no COM apartment: every connection left what it entered.
// The table of credential answers, which tests/windows/run copies beside the driver.
std::filesystem::path beside_driver(std::wstring_view file_name) {
    wchar_t driver[MAX_PATH];
    const DWORD length = GetModuleFileNameW(nullptr, driver, MAX_PATH);
    if (length == 0 || length >= MAX_PATH) return std::filesystem::path(file_name);
    return std::filesystem::path(std::wstring(driver, length)).parent_path() / file_name;
}

bool outside_any_apartment() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return CoGetApartmentType(&type, &qualifier) == CO_E_NOTINITIALIZED;
}

void check_missing(CheckReport& report) {
    auto missing = client::with_own_connection(client::task_exists, task_name);
    report.check(answers(missing, false), "task_exists of a missing task is false", describe_exists(missing));

    auto no_folder = client::with_own_connection(client::task_exists, "NoSuchFolder\\MorvaneWineCheck");
    report.check(answers(no_folder, false), "task_exists of a task in a missing folder is false",
                 describe_exists(no_folder));

    auto delete_missing = client::with_own_connection(client::delete_task, task_name);
    report.check(fails_with(delete_missing, "DeleteTask", file_not_found),
                 "delete_task of a missing task fails: DeleteTask, 0x80070002, \"" +
                     expected_message(file_not_found) + "\"",
                 describe_result(delete_missing));

    // The empty name reaches the service as the null BSTR, and the service's answer stands.
    auto empty = client::with_own_connection(client::task_exists, "");
    report.check(fails_with(empty, "GetTask", invalid_argument),
                 "task_exists of the empty name fails at GetTask with E_INVALIDARG", describe_exists(empty));

    auto run_missing = client::with_own_connection(client::run_task, task_name);
    report.check(fails_with(run_missing, "GetTask", file_not_found),
                 "run_task of a missing task fails at GetTask with 0x80070002", describe_result(run_missing));
}

void check_life_cycle(CheckReport& report) {
    auto registered = client::with_own_connection(client::register_xml, task_name, task_xml("first definition"));
    report.check(registered.ok() && stored_definition_contains(wide_task_name, "first definition"),
                 "register_xml of a new task succeeds and stores its definition", describe_result(registered));

    auto present = client::with_own_connection(client::task_exists, task_name);
    report.check(answers(present, true), "task_exists of the registered task is true", describe_exists(present));

    auto replaced = client::with_own_connection(client::register_xml, task_name, task_xml("second definition"));
    report.check(replaced.ok() && stored_definition_contains(wide_task_name, "second definition") &&
                     !stored_definition_contains(wide_task_name, "first definition"),
                 "register_xml of an existing task replaces its stored definition", describe_result(replaced));

    auto still_present = client::with_own_connection(client::task_exists, task_name);
    report.check(answers(still_present, true), "task_exists after the replacement is true",
                 describe_exists(still_present));

    auto run = client::with_own_connection(client::run_task, task_name);
    report.check(fails_with(run, "RunEx", not_implemented),
                 "run_task fails at RunEx with E_NOTIMPL (Wine does not run tasks): \"" +
                     expected_message(not_implemented) + "\"",
                 describe_result(run));

    auto deleted = client::with_own_connection(client::delete_task, task_name);
    report.check(deleted.ok(), "delete_task of the registered task succeeds", describe_result(deleted));

    auto gone = client::with_own_connection(client::task_exists, task_name);
    report.check(answers(gone, false), "task_exists after delete_task is false", describe_exists(gone));
}

// Listing the root folder and reading a task's record and definition, on Wine's service, which
// answers E_NOTIMPL from its collections' get_Count and from get_LastTaskResult: the client gets
// that far through the real interfaces and reports the call that stopped it.
void check_reading(CheckReport& report) {
    auto registered = client::with_own_connection(client::register_xml, task_name, task_xml("read back"));
    report.check(registered.ok(), "a task to read is registered", describe_result(registered));

    auto listed = client::with_own_connection(client::list_tasks, "\\", client::ListingScope{});
    report.check(fails_with(listed, "get_Count", not_implemented),
                 "list_tasks fails at the collection's get_Count with E_NOTIMPL (Wine does not count)",
                 describe_result(listed));

    auto info = client::with_own_connection(client::task_info, task_name);
    report.check(fails_with(info, "get_LastTaskResult", not_implemented),
                 "task_info reads path, name, state, enabled and last run time, then fails at get_LastTaskResult "
                 "with E_NOTIMPL (Wine keeps no result)",
                 describe_result(info));

    auto xml = client::with_own_connection(client::task_xml, task_name);
    report.check(xml.ok() && xml.value().find("read back") != std::string::npos,
                 "task_xml returns the registered definition", describe_result(xml));

    auto missing = client::with_own_connection(client::task_info, "MorvaneNoSuchTask");
    report.check(fails_with(missing, "GetTask", file_not_found), "task_info of a missing task fails at GetTask",
                 describe_result(missing));
    auto deleted = client::with_own_connection(client::delete_task, task_name);
    report.check(deleted.ok(), "the read task is deleted again", describe_result(deleted));
}

void check_malformed_xml(CheckReport& report) {
    constexpr std::string_view unclosed =
        R"(<Task xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Actions>)";
    auto malformed = client::with_own_connection(client::register_xml, task_name, unclosed);
    report.check(fails_with(malformed, "RegisterTask", malformed_xml),
                 "register_xml of malformed XML fails: RegisterTask, SCHED_E_MALFORMEDXML, \"" +
                     expected_message(malformed_xml) + "\"",
                 describe_result(malformed));

    auto absent = client::with_own_connection(client::task_exists, task_name);
    report.check(answers(absent, false), "a refused registration leaves no task", describe_exists(absent));
}

// A name beyond ASCII, with a character outside the Basic Multilingual Plane, makes the round trip
// UTF-8 -> UTF-16 -> service -> lookup by the same name.
void check_wide_name(CheckReport& report) {
    constexpr std::string_view wide_name = "T\xC3\xA2" "che-\xCE\xA9-\xF0\x9F\x98\x80";  // "Tâche-Ω-😀"
    auto registered = client::with_own_connection(client::register_xml, wide_name, task_xml("wide name"));
    auto present = client::with_own_connection(client::task_exists, wide_name);
    auto deleted = client::with_own_connection(client::delete_task, wide_name);
    auto gone = client::with_own_connection(client::task_exists, wide_name);
    report.check(registered.ok() && answers(present, true) && deleted.ok() && answers(gone, false),
                 "a name with non-ASCII characters registers, exists, deletes",
                 describe_result(registered) + "; " + describe_exists(present) + "; " + describe_result(deleted) +
                     "; " + describe_exists(gone));
}

// A thread that already lives in a single-threaded apartment keeps it: the connection must not
// leave an apartment it did not enter.
void check_single_threaded_caller(CheckReport& report) {
    const HRESULT entered = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    auto missing = client::with_own_connection(client::task_exists, task_name);
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    const HRESULT kept = CoGetApartmentType(&type, &qualifier);
    if (SUCCEEDED(entered)) CoUninitialize();
    report.check(SUCCEEDED(entered) && answers(missing, false) && kept == S_OK && type == APTTYPE_MAINSTA,
                 "task_exists on a single-threaded-apartment thread works and keeps the apartment",
                 describe_exists(missing) + "; apartment query " + formatted_code(kept) + ", type " +
                     std::to_string(static_cast<int>(type)));
}

}  // namespace

int main() {
    CheckReport report;
    check_missing(report);
    check_life_cycle(report);
    check_reading(report);
    check_instances(report);
    check_malformed_xml(report);
    check_register_modes(report);
    check_wide_name(report);
    check_folders(report);
    report.check(outside_any_apartment(), "every operation left the apartment it entered");
    check_single_threaded_caller(report);
    check_sessions(report);
    check_local_offsets(report, std::cin);
    std::ifstream credential_answers(beside_driver(L"credential_answers.tsv"));
    check_credentials(report, credential_answers);
    print_session_speed();
    return report.finish();
}
