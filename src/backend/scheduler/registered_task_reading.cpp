// registered_task_reading.cpp: get_task and the reading of a registered task's properties.
#include "scheduler/registered_task_reading.hpp"

#include <optional>

#include "scheduler/call_failure.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/to_bstr.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {
namespace {

// A property read that failed, captured at once: its code, its label and its error information.
struct FailedRead {
    PlatformError error;
    std::string_view label;
};

TaskState task_state_from(TASK_STATE state) noexcept {
    switch (state) {
        case TASK_STATE_DISABLED: return TaskState::disabled;
        case TASK_STATE_QUEUED: return TaskState::queued;
        case TASK_STATE_READY: return TaskState::ready;
        case TASK_STATE_RUNNING: return TaskState::running;
        default: return TaskState::unknown;
    }
}

// A time property: DATE 0 is "never", and so is the success code SCHED_S_TASK_HAS_NOT_RUN with
// which Windows answers get_LastRunTime of a task that never ran.
std::optional<LocalTime> time_from(HRESULT outcome, DATE date) noexcept {
    constexpr HRESULT has_not_run = 0x00041303;  // SCHED_S_TASK_HAS_NOT_RUN
    if (outcome == has_not_run) return std::nullopt;
    return local_time_from_date(date);
}

// The properties after path and name, into record; the first failing read, captured, if any.
std::optional<FailedRead> read_state_properties(IRegisteredTask& task, TaskRecord& record) {
    TASK_STATE state = TASK_STATE_UNKNOWN;
    HRESULT outcome = task.get_State(&state);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_State"};
    record.state = task_state_from(state);

    VARIANT_BOOL enabled = VARIANT_FALSE;
    outcome = task.get_Enabled(&enabled);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_Enabled"};
    record.enabled = enabled != VARIANT_FALSE;

    DATE date = 0;
    outcome = task.get_LastRunTime(&date);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_LastRunTime"};
    record.last_run_time = time_from(outcome, date);

    LONG result = 0;
    outcome = task.get_LastTaskResult(&result);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_LastTaskResult"};
    record.last_task_result = static_cast<std::uint32_t>(result);

    date = 0;
    outcome = task.get_NextRunTime(&date);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_NextRunTime"};
    record.next_run_time = time_from(outcome, date);

    LONG missed = 0;
    outcome = task.get_NumberOfMissedRuns(&missed);
    if (FAILED(outcome)) return FailedRead{PlatformError::from_hresult(outcome), "get_NumberOfMissedRuns"};
    record.number_of_missed_runs = static_cast<std::int32_t>(missed);
    return std::nullopt;
}

Result<TaskRecord, SchedulerError> read_names(IRegisteredTask& task) {
    TaskRecord record;
    Result<std::string, SchedulerError> path = read_text_property(task, &IRegisteredTask::get_Path, "get_Path");
    MORVANE_RETURN_IF_FAILED(path);
    record.path = std::move(path).value();
    Result<std::string, SchedulerError> name = read_text_property(task, &IRegisteredTask::get_Name, "get_Name");
    MORVANE_RETURN_IF_FAILED(name);
    record.name = std::move(name).value();
    return record;
}

}  // namespace

Result<std::string, SchedulerError> read_text_property(IRegisteredTask& task, TextGetter getter,
                                                       std::string_view label) {
    UniqueBstr text;
    const HRESULT outcome = (task.*getter)(text.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, label)};
    if (!text) return Err{call_without_object(label)};
    return utf8_from_utf16(bstr_view(text.get()));
}

Result<ComPtr<IRegisteredTask>, SchedulerError> get_task(SchedulerConnection& connection, std::string_view task_name) {
    UniqueBstr name = to_bstr(task_name);
    ComPtr<IRegisteredTask> task;
    const HRESULT outcome = connection.root_folder()->GetTask(name.get(), task.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetTask")};
    if (!task) return Err{call_without_object("GetTask")};
    return task;
}

Result<TaskRecord, SchedulerError> read_task_record(IRegisteredTask& task) {
    Result<TaskRecord, SchedulerError> record = read_names(task);
    if (!record) return record;
    if (std::optional<FailedRead> failure = read_state_properties(task, record.value()))
        return Err{SchedulerError::from_platform(std::move(failure->error), failure->label)};
    return record;
}

Result<TaskRecord, SchedulerError> read_listed_task_record(IRegisteredTask& task) {
    Result<TaskRecord, SchedulerError> record = read_names(task);
    if (!record) return record;
    if (std::optional<FailedRead> failure = read_state_properties(task, record.value())) {
        TaskRecord damaged;
        damaged.path = std::move(record.value().path);
        damaged.name = std::move(record.value().name);
        damaged.last_task_result = static_cast<std::uint32_t>(failure->error.code());
        return damaged;  // the failure's detail is dropped with it, without looking up any text
    }
    return record;
}

}  // namespace morvane::scheduler
