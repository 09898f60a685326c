// security_operations.hpp: reading and replacing the security descriptors of tasks and folders,
// as SDDL text. Free of platform names: the Python module includes it.
#pragma once

#include <string>
#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// GetTask, then the task's descriptor (owner, group and DACL) as SDDL.
Result<std::string, SchedulerError> task_security(SchedulerConnection& connection, std::string_view task_name);

// GetTask, then SetSecurityDescriptor with the SDDL as given (the service checks it).
Result<void, SchedulerError> set_task_security(SchedulerConnection& connection, std::string_view task_name,
                                               std::string_view sddl);

// GetFolder of the path from the root, then its descriptor as SDDL.
Result<std::string, SchedulerError> folder_security(SchedulerConnection& connection, std::string_view path);

// GetFolder of the path from the root, then SetSecurityDescriptor.
Result<void, SchedulerError> set_folder_security(SchedulerConnection& connection, std::string_view path,
                                                 std::string_view sddl);

}  // namespace morvane::scheduler
