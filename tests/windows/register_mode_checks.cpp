// register_mode_checks.cpp: register_task's modes under Wine. Wine's service answers the modes as
// Windows does; where a check's answer is Wine's own, its name says so.
#include "register_mode_checks.hpp"

#include <windows.h>

#include <string>
#include <string_view>

#include "scheduler/own_connection.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/task_registration.hpp"
#include "stored_definition.hpp"
#include "system_text.hpp"

namespace {

namespace client = morvane::scheduler;
using client::RegisterMode;

constexpr HRESULT already_exists = static_cast<HRESULT>(0x800700B7u);  // ERROR_ALREADY_EXISTS
constexpr HRESULT file_not_found = static_cast<HRESULT>(0x80070002u);

constexpr std::string_view task_name = "MorvaneModeCheck";
constexpr std::wstring_view wide_task_name = L"MorvaneModeCheck";

std::string definition(std::string_view description) {
    return std::string(R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <RegistrationInfo><Description>)") +
           std::string(description) + R"(</Description></RegistrationInfo>
  <Actions><Exec><Command>cmd.exe</Command></Exec></Actions>
</Task>
)";
}

std::string_view mode_name(RegisterMode mode) {
    switch (mode) {
        case RegisterMode::create: return "create-only";
        case RegisterMode::update: return "update-only";
        case RegisterMode::create_or_update: return "create-or-update";
    }
    return "?";
}

struct ModeCase {
    RegisterMode mode;
    bool exists;
    HRESULT answer;  // S_OK: registered
};

constexpr ModeCase cases[] = {
    {RegisterMode::create, false, S_OK},
    {RegisterMode::create, true, already_exists},
    {RegisterMode::update, false, file_not_found},
    {RegisterMode::update, true, S_OK},
    {RegisterMode::create_or_update, false, S_OK},
    {RegisterMode::create_or_update, true, S_OK},
};

std::string seen(const morvane::Result<void, client::SchedulerError>& outcome) {
    if (outcome.ok()) return "success";
    return std::string(outcome.error().operation) + " " + formatted_code(outcome.error().code) + " \"" +
           outcome.error().message + "\"";
}

}  // namespace

void check_register_modes(CheckReport& report) {
    for (const ModeCase& check : cases) {
        (void)client::with_own_connection(client::delete_task, task_name);
        if (check.exists) (void)client::with_own_connection(client::register_xml, task_name, definition("old"));
        auto outcome = client::with_own_connection(client::register_task, task_name, definition("new"), check.mode,
                                                   client::RunAs{});

        const bool answered = check.answer == S_OK
                                  ? outcome.ok()
                                  : !outcome.ok() && outcome.error().operation == "RegisterTask" &&
                                        outcome.error().code == check.answer &&
                                        outcome.error().message == expected_message(check.answer);
        // What the task holds afterwards: the new definition, the old one kept, or no task.
        auto exists = client::with_own_connection(client::task_exists, task_name);
        const bool stored = check.answer == S_OK ? stored_definition_contains(wide_task_name, "new")
                            : check.exists       ? stored_definition_contains(wide_task_name, "old")
                                                 : exists.ok() && !exists.value();
        const std::string expected = check.answer == S_OK ? "registers" : "fails with " + formatted_code(check.answer);
        report.check(answered && stored,
                     "register_task " + std::string(mode_name(check.mode)) + " of " +
                         (check.exists ? "an existing" : "a missing") + " task " + expected,
                     seen(outcome));
    }
    (void)client::with_own_connection(client::delete_task, task_name);
}
