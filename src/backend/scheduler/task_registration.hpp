// task_registration.hpp: register_task, a definition registered as create-only, update-only or
// create-or-update. Free of platform names: the Python module includes it.
#pragma once

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

// Registers the XML definition under the task name with the mode's flags, as the interactive
// user (the logon type register_xml uses). The service's refusal is the error.
Result<void, SchedulerError> register_task(SchedulerConnection& connection, std::string_view task_name,
                                           std::string_view xml_definition, RegisterMode mode);

}  // namespace morvane::scheduler
