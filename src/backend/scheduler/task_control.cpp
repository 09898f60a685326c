// task_control.cpp: set_task_enabled and stop_task.
#include "scheduler/task_control.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/registered_task_reading.hpp"

namespace morvane::scheduler {

Result<void, SchedulerError> set_task_enabled(SchedulerConnection& connection, std::string_view task_name,
                                              bool enabled) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    const HRESULT outcome = task.value()->put_Enabled(enabled ? VARIANT_TRUE : VARIANT_FALSE);
    if (FAILED(outcome)) return Err{failed_call(outcome, "put_Enabled")};
    return {};
}

Result<void, SchedulerError> stop_task(SchedulerConnection& connection, std::string_view task_name) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    const HRESULT outcome = task.value()->Stop(0);  // flags are reserved: 0
    if (FAILED(outcome)) return Err{failed_call(outcome, "Stop")};
    return {};
}

}  // namespace morvane::scheduler
