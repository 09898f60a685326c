// task_registration.cpp: register_task. The locals stand in acquisition order, as in
// task_operations.cpp, so that every way out gives them back in reverse.
#include "scheduler/task_registration.hpp"

#include "scheduler/call_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/secret_bstr.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {

static_assert(static_cast<LONG>(RegisterMode::create) == TASK_CREATE);
static_assert(static_cast<LONG>(RegisterMode::update) == TASK_UPDATE);
static_assert(static_cast<LONG>(RegisterMode::create_or_update) == TASK_CREATE_OR_UPDATE);

static_assert(static_cast<int>(LogonType::password) == TASK_LOGON_PASSWORD);
static_assert(static_cast<int>(LogonType::interactive_token_or_password) == TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD);

namespace {

TASK_LOGON_TYPE logon_type_of(const RunAs& run_as) {
    if (run_as.logon_type) return static_cast<TASK_LOGON_TYPE>(*run_as.logon_type);
    return run_as.password ? TASK_LOGON_PASSWORD : TASK_LOGON_NONE;
}

}  // namespace

Result<void, SchedulerError> register_task(SchedulerConnection& connection, std::string_view task_name,
                                           std::string_view xml_definition, RegisterMode mode, const RunAs& run_as) {
    UniqueBstr name = to_bstr(task_name);
    UniqueBstr definition = to_bstr(xml_definition);
    UniqueBstr user = to_bstr(run_as.user.value_or(""));
    SecretBstr password = to_secret_bstr(run_as.password.value_or(""));
    UniqueBstr security = to_bstr(run_as.security.value_or(""));
    ComPtr<IRegisteredTask> task;
    const HRESULT outcome = connection.root_folder()->RegisterTask(
        name.get(), definition.get(), static_cast<LONG>(mode), borrowed_text_variant(user.get(), run_as.user.has_value()),
        borrowed_text_variant(password.get().text, run_as.password.has_value()), logon_type_of(run_as),
        borrowed_text_variant(security.get(), run_as.security.has_value()), task.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "RegisterTask")};
    if (!task) return Err{call_without_object("RegisterTask")};
    task.reset();
    return {};
}

}  // namespace morvane::scheduler
