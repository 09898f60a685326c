// task_registration.hpp: register_task, a definition registered as create-only, update-only or
// create-or-update. Free of platform names: the Python module includes it.
#pragma once

#include <optional>
#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// How a registration treats an existing task, numbered as the platform's TASK_CREATION flags.
enum class RegisterMode : int {
    create = 2,            // a new task only: an existing one is ERROR_ALREADY_EXISTS (0x800700B7)
    update = 4,            // an existing task only: a missing one is ERROR_FILE_NOT_FOUND (0x80070002)
    create_or_update = 6,  // either
};

// How the task's account logs on to run it, numbered as the platform's TASK_LOGON_TYPE.
enum class LogonType : int {
    none = 0,  // as the definition's principal says
    password = 1,
    s4u = 2,
    interactive_token = 3,
    group = 4,
    service_account = 5,
    interactive_token_or_password = 6,
};

// Whom a registration is for: the account (none: the definition's principal, else the caller),
// its password, its logon type (none: password when a password is given, else as the
// definition's principal says), and the task's security descriptor in SDDL (none: the
// definition's RegistrationInfo/SecurityDescriptor, else the default; an existing task keeps its own).
struct RunAs {
    std::optional<std::string_view> user;
    std::optional<std::string_view> password;
    std::optional<LogonType> logon_type;
    std::optional<std::string_view> security;
};

// Registers the XML definition under the task name with the mode's flags, for the account
// `run_as` names. The service's refusal is the error. The password's BSTR is wiped before it is freed.
Result<void, SchedulerError> register_task(SchedulerConnection& connection, std::string_view task_name,
                                           std::string_view xml_definition, RegisterMode mode, const RunAs& run_as = {});

}  // namespace morvane::scheduler
