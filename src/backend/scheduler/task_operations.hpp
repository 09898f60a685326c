// task_operations.hpp: the four task operations of the scheduler client, over UTF-8 text.
// Free of platform names: the Python module includes it.
//
// Each operation acts on the task of that name in the root folder, over a connection the caller
// holds (a session's, or one of its own: see own_connection.hpp); nothing else is kept between
// calls. Texts are UTF-8 views (pointer and byte length, possibly empty, NUL characters
// allowed) handed to the service unchanged. A failed platform call comes back as a SchedulerError;
// a text that cannot be made into a BSTR raises InternalFailure, after everything the operation
// held has been given back. Run them on any thread, without the interpreter lock.
#pragma once

#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// Starts the registered task now, without waiting for it.
Result<void, SchedulerError> run_task(SchedulerConnection& connection, std::string_view task_name);

// Removes the registered task.
Result<void, SchedulerError> delete_task(SchedulerConnection& connection, std::string_view task_name);

// True when the task is registered; false when the service answers that the task, or a folder on
// its path, does not exist (0x80070002, 0x80070003). Every other failure is an error.
Result<bool, SchedulerError> task_exists(SchedulerConnection& connection, std::string_view task_name);

// Creates the task from its XML definition, or replaces the definition of an existing one.
Result<void, SchedulerError> register_xml(SchedulerConnection& connection, std::string_view task_name,
                                          std::string_view xml_definition);

}  // namespace morvane::scheduler
