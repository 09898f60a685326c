// task_operations.cpp: run_task, delete_task, task_exists and register_xml.
//
// In each operation the locals are declared in the order of acquisition (BSTRs, objects), so that
// every way out, an InternalFailure included, gives them back in reverse; a connection of the
// operation's own is closed after them. Every SchedulerError is complete, text included, before that.
#include "scheduler/task_operations.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/task_registration.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {
namespace {

// The answers of GetTask that mean "no such task" to task_exists: the task, or a folder on its
// path, is missing.
constexpr HRESULT task_not_found = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
constexpr HRESULT folder_not_found = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

}  // namespace

Result<void, SchedulerError> run_task(SchedulerConnection& connection, std::string_view task_name) {
    UniqueBstr name = to_bstr(task_name);
    ComPtr<IRegisteredTask> task;
    HRESULT outcome = connection.root_folder()->GetTask(name.get(), task.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetTask")};
    if (!task) return Err{call_without_object("GetTask")};
    name.reset();

    ComPtr<IRunningTask> running;
    outcome = task->RunEx(empty_variant(), TASK_RUN_NO_FLAGS, 0, nullptr, running.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "RunEx")};
    if (!running) return Err{call_without_object("RunEx")};
    running.reset();  // not waited for, not looked at
    return {};
}

Result<void, SchedulerError> delete_task(SchedulerConnection& connection, std::string_view task_name) {
    UniqueBstr name = to_bstr(task_name);
    const HRESULT outcome = connection.root_folder()->DeleteTask(name.get(), 0);
    if (FAILED(outcome)) return Err{failed_call(outcome, "DeleteTask")};
    return {};
}

Result<bool, SchedulerError> task_exists(SchedulerConnection& connection, std::string_view task_name) {
    UniqueBstr name = to_bstr(task_name);
    ComPtr<IRegisteredTask> task;
    const HRESULT outcome = connection.root_folder()->GetTask(name.get(), task.put());
    // Captured at once; the name is freed before the answer is decided.
    std::optional<PlatformError> failure;
    if (FAILED(outcome)) failure = PlatformError::from_hresult(outcome);
    name.reset();

    if (!failure) {
        if (!task) return Err{call_without_object("GetTask")};
        task.reset();
        return true;
    }
    // Absence is an answer, not an error: its detail is dropped without looking up any text.
    if (outcome == task_not_found || outcome == folder_not_found) return false;
    return Err{SchedulerError::from_platform(std::move(*failure), "GetTask")};
}

Result<void, SchedulerError> register_xml(SchedulerConnection& connection, std::string_view task_name,
                                          std::string_view xml_definition) {
    return register_task(connection, task_name, xml_definition, RegisterMode::create_or_update,
                         RunAs{std::nullopt, std::nullopt, LogonType::interactive_token, std::nullopt});
}

}  // namespace morvane::scheduler
