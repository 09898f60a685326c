// task_registration.cpp: register_task. The locals stand in acquisition order, as in
// task_operations.cpp, so that every way out gives them back in reverse.
#include "scheduler/task_registration.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {

static_assert(static_cast<LONG>(RegisterMode::create) == TASK_CREATE);
static_assert(static_cast<LONG>(RegisterMode::update) == TASK_UPDATE);
static_assert(static_cast<LONG>(RegisterMode::create_or_update) == TASK_CREATE_OR_UPDATE);

Result<void, SchedulerError> register_task(SchedulerConnection& connection, std::string_view task_name,
                                           std::string_view xml_definition, RegisterMode mode) {
    UniqueBstr name = to_bstr(task_name);
    UniqueBstr definition = to_bstr(xml_definition);
    ComPtr<IRegisteredTask> task;
    const HRESULT outcome = connection.root_folder()->RegisterTask(
        name.get(), definition.get(), static_cast<LONG>(mode), empty_variant(), empty_variant(),
        TASK_LOGON_INTERACTIVE_TOKEN, empty_variant(), task.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "RegisterTask")};
    if (!task) return Err{call_without_object("RegisterTask")};
    task.reset();
    return {};
}

}  // namespace morvane::scheduler
