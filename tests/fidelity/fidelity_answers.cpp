// fidelity_answers.cpp: answers the fidelity inputs (read from standard input) with the scheduler
// client, against winemu when built here and against the real service when built for Windows.
// One line per case: id, the setup steps' answers, the operation's answer, and whether the name
// is a task afterwards; every answer is "ok", "true", "false" or the failing call and its code.
#include <cstdio>
#include <exception>
#include <iostream>
#include <string>

#include "input_table.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/to_bstr.hpp"
#include "task_reading_answers.hpp"
#include "task_store_reset.hpp"

namespace {

namespace client = morvane::scheduler;
using client::SchedulerError;

std::string failure(std::string_view call, std::int32_t code) {
    return std::string(call) + " " + client::format_hresult(code);
}

std::string answer(const morvane::Result<void, SchedulerError>& result) {
    return result.ok() ? "ok" : failure(result.error().operation, result.error().code);
}

std::string answer(const morvane::Result<bool, SchedulerError>& result) {
    if (!result.ok()) return failure(result.error().operation, result.error().code);
    return result.value() ? "true" : "false";
}

// RegisterTask itself, with flags the client never passes; the code only, the detail dropped.
std::string register_with_flags(const std::string& name, const std::optional<std::string>& xml, long flags) {
    auto connection = client::SchedulerConnection::open();
    if (!connection.ok()) return failure(connection.error().operation, connection.error().code);
    client::UniqueBstr bstr_name = client::to_bstr(name);
    client::UniqueBstr bstr_xml = xml ? client::to_bstr(*xml) : client::UniqueBstr();
    IRegisteredTask* task = nullptr;
    const HRESULT outcome = connection.value().root_folder()->RegisterTask(
        bstr_name.get(), bstr_xml.get(), flags, client::empty_variant(), client::empty_variant(),
        TASK_LOGON_INTERACTIVE_TOKEN, client::empty_variant(), &task);
    if (FAILED(outcome)) client::drop_secondary_failure(outcome);
    if (task) task->Release();
    return FAILED(outcome) ? failure("RegisterTask", outcome) : "ok";
}

std::string perform(const fidelity::Case& c) {
    const std::string xml = c.definition.value_or("");
    if (c.operation == "run_task") return answer(client::with_own_connection(client::run_task, c.name));
    if (c.operation == "delete_task") return answer(client::with_own_connection(client::delete_task, c.name));
    if (c.operation == "task_exists") return answer(client::with_own_connection(client::task_exists, c.name));
    if (c.operation == "register_xml") return answer(client::with_own_connection(client::register_xml, c.name, xml));
    if (c.operation == "RegisterTask") return register_with_flags(c.name, c.definition, c.flags);
    if (auto reading = fidelity::answer_task_reading(c)) return *reading;
    return "unknown operation " + c.operation;
}

std::string set_up(const std::vector<fidelity::SetupStep>& steps) {
    if (steps.empty()) return "-";
    std::string answers;
    for (const auto& step : steps) {
        if (!answers.empty()) answers += ",";
        if (step.action == "register")
            answers += answer(client::with_own_connection(client::register_xml, step.name, fidelity::plain_definition()));
        else if (step.action == "delete")
            answers += answer(client::with_own_connection(client::delete_task, step.name));
        else
            answers += "unknown step " + step.action;
    }
    return answers;
}

}  // namespace

int main() {
    try {
        const auto cases = fidelity::read_cases(std::cin);
        fidelity::prepare_task_store();
        for (const auto& c : cases) {
            fidelity::reset_task_store();
            const std::string setup = set_up(c.setup);
            const std::string outcome = perform(c);
            const std::string after = answer(client::with_own_connection(client::task_exists, c.name));
            std::printf("%s\t%s\t%s\t%s\n", c.id.c_str(), setup.c_str(), outcome.c_str(), after.c_str());
            std::fflush(stdout);
        }
        fidelity::reset_task_store();
        fidelity::finish_task_store();
        return 0;
    } catch (const std::exception& error) {
        std::fprintf(stderr, "fidelity_answers: %s\n", error.what());
        return 2;
    }
}
