// running_instances.cpp: start_task, running_tasks, running_task and stop_running_task.
//
// No COM object outlives a call: an instance is found again by its task and GUID (GetInstances),
// so that a caller may keep what it was told for as long as it likes, across connections.
#include "scheduler/running_instances.hpp"

#include <cstring>

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/registered_task_reading.hpp"
#include "scheduler/run_parameters_variant.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {
namespace {

// What an instance answers once it has ended, to Refresh and to Stop: "There is no running
// instance of the task."
constexpr HRESULT task_not_running = static_cast<HRESULT>(0x8004130Bu);  // SCHED_E_TASK_NOT_RUNNING

using InstanceText = HRESULT (STDMETHODCALLTYPE IRunningTask::*)(BSTR*);

Result<std::string, SchedulerError> read_text(IRunningTask& instance, InstanceText getter, std::string_view label) {
    UniqueBstr text;
    const HRESULT outcome = (instance.*getter)(text.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, label)};
    return utf8_from_utf16(bstr_view(text.get()));  // an empty text may come as the null BSTR
}

Result<InstanceRecord, SchedulerError> read_instance(IRunningTask& instance) {
    InstanceRecord record;
    const struct {
        InstanceText getter;
        std::string_view label;
        std::string InstanceRecord::* field;
    } texts[] = {
        {&IRunningTask::get_InstanceGuid, "get_InstanceGuid", &InstanceRecord::instance_guid},
        {&IRunningTask::get_Path, "get_Path", &InstanceRecord::path},
        {&IRunningTask::get_Name, "get_Name", &InstanceRecord::name},
        {&IRunningTask::get_CurrentAction, "get_CurrentAction", &InstanceRecord::current_action},
    };
    for (const auto& text : texts) {
        Result<std::string, SchedulerError> read = read_text(instance, text.getter, text.label);
        MORVANE_RETURN_IF_FAILED(read);
        record.*text.field = std::move(read).value();
    }
    DWORD pid = 0;
    HRESULT outcome = instance.get_EnginePID(&pid);
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_EnginePID")};
    record.pid = pid;
    TASK_STATE state = TASK_STATE_UNKNOWN;
    outcome = instance.get_State(&state);
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_State")};
    record.state = state >= TASK_STATE_UNKNOWN && state <= TASK_STATE_RUNNING ? static_cast<TaskState>(state)
                                                                               : TaskState::unknown;
    return record;
}

// Each instance of the collection, in order, handed to visit, which answers whether to go on;
// the first failure ends the walk.
template <class Visit>
Result<void, SchedulerError> for_each_instance(IRunningTaskCollection& collection, Visit&& visit) {
    LONG count = 0;
    HRESULT outcome = collection.get_Count(&count);
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_Count")};
    for (LONG number = 1; number <= count; ++number) {
        VARIANT index = empty_variant();
        index.vt = VT_I4;
        index.lVal = number;
        ComPtr<IRunningTask> item;
        outcome = collection.get_Item(index, item.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "get_Item")};
        if (!item) return Err{call_without_object("get_Item")};
        Result<bool, SchedulerError> more = visit(*item.get());
        MORVANE_RETURN_IF_FAILED(more);
        if (!more.value()) break;
    }
    return {};
}

Result<ComPtr<IRunningTaskCollection>, SchedulerError> task_instances(SchedulerConnection& connection,
                                                                      std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    ComPtr<IRunningTaskCollection> instances;
    const HRESULT outcome = task.value()->GetInstances(0, instances.put());  // flags are reserved: 0
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetInstances")};
    if (!instances) return Err{call_without_object("GetInstances")};
    return instances;
}

// GUIDs are compared as Windows compares their text: ASCII letters in either case.
bool same_guid(std::string_view a, std::string_view b) noexcept {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

// Calls act(instance) on the task's instance of the GUID, when it has one: what act answered, or
// nothing.
template <class Value, class Act>
Result<std::optional<Value>, SchedulerError> with_instance(SchedulerConnection& connection, std::string_view task_name,
                                                           std::string_view instance_guid, Act&& act) {
    Result<ComPtr<IRunningTaskCollection>, SchedulerError> instances = task_instances(connection, task_name);
    MORVANE_RETURN_IF_FAILED(instances);
    std::optional<Value> answer;
    Result<void, SchedulerError> walked =
        for_each_instance(*instances.value().get(), [&](IRunningTask& instance) -> Result<bool, SchedulerError> {
            Result<std::string, SchedulerError> guid = read_text(instance, &IRunningTask::get_InstanceGuid, "get_InstanceGuid");
            MORVANE_RETURN_IF_FAILED(guid);
            if (!same_guid(guid.value(), instance_guid)) return true;
            Result<Value, SchedulerError> acted = act(instance);
            MORVANE_RETURN_IF_FAILED(acted);
            answer = std::move(acted).value();
            return false;
        });
    MORVANE_RETURN_IF_FAILED(walked);
    return answer;
}

}  // namespace

Result<InstanceRecord, SchedulerError> start_task(SchedulerConnection& connection, std::string_view task_name,
                                                  const std::optional<std::vector<std::string>>& parameters) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    RunParametersVariant values(parameters);
    ComPtr<IRunningTask> running;
    const HRESULT outcome = task.value()->RunEx(values.get(), TASK_RUN_NO_FLAGS, 0, nullptr, running.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "RunEx")};
    if (!running) return Err{call_without_object("RunEx")};
    return read_instance(*running.get());
}

Result<std::vector<InstanceRecord>, SchedulerError> running_tasks(SchedulerConnection& connection,
                                                                  std::optional<std::string_view> task_name,
                                                                  bool hidden) {
    ComPtr<IRunningTaskCollection> instances;
    if (task_name) {
        Result<ComPtr<IRunningTaskCollection>, SchedulerError> found = task_instances(connection, *task_name);
        MORVANE_RETURN_IF_FAILED(found);
        instances = std::move(found).value();
    } else {
        const HRESULT outcome = connection.service()->GetRunningTasks(hidden ? TASK_ENUM_HIDDEN : 0, instances.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "GetRunningTasks")};
        if (!instances) return Err{call_without_object("GetRunningTasks")};
    }
    std::vector<InstanceRecord> records;
    Result<void, SchedulerError> walked =
        for_each_instance(*instances.get(), [&](IRunningTask& instance) -> Result<bool, SchedulerError> {
            Result<InstanceRecord, SchedulerError> record = read_instance(instance);
            MORVANE_RETURN_IF_FAILED(record);
            records.push_back(std::move(record).value());
            return true;
        });
    MORVANE_RETURN_IF_FAILED(walked);
    return records;
}

Result<std::optional<InstanceRecord>, SchedulerError> running_task(SchedulerConnection& connection,
                                                                   std::string_view task_name,
                                                                   std::string_view instance_guid) {
    using Found = std::optional<InstanceRecord>;
    Result<std::optional<Found>, SchedulerError> found = with_instance<Found>(
        connection, task_name, instance_guid, [](IRunningTask& instance) -> Result<Found, SchedulerError> {
            const HRESULT outcome = instance.Refresh();
            if (outcome == task_not_running) return Found();  // ended since it was listed
            if (FAILED(outcome)) return Err{failed_call(outcome, "Refresh")};
            Result<InstanceRecord, SchedulerError> record = read_instance(instance);
            MORVANE_RETURN_IF_FAILED(record);
            return Found(std::move(record).value());
        });
    MORVANE_RETURN_IF_FAILED(found);
    return found.value().value_or(Found());
}

Result<bool, SchedulerError> stop_running_task(SchedulerConnection& connection, std::string_view task_name,
                                               std::string_view instance_guid) {
    Result<std::optional<bool>, SchedulerError> stopped = with_instance<bool>(
        connection, task_name, instance_guid, [](IRunningTask& instance) -> Result<bool, SchedulerError> {
            const HRESULT outcome = instance.Stop();
            if (outcome == task_not_running) return false;  // ended since it was listed
            if (FAILED(outcome)) return Err{failed_call(outcome, "Stop")};
            return true;
        });
    MORVANE_RETURN_IF_FAILED(stopped);
    return stopped.value().value_or(false);
}

}  // namespace morvane::scheduler
