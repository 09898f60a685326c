// operation_results.hpp: the result makers of the task operations: from what a scheduler
// operation answers to the Python object the call returns.
#pragma once

#include <string>
#include <vector>

#include "module/call_frame.hpp"
#include "scheduler/running_instances.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::module {

// None, for an operation that answers nothing; True or False.
ObjectResult none_result();
ObjectResult bool_result(bool answer);

// A list of TaskInfo (without principals); a TaskInfo with the principal of its definition, as
// task_definition_object reads it; a str; a list of aware local datetimes of instants given in
// microseconds since 1970-01-01 00:00 UTC.
ObjectResult task_info_list(const std::vector<scheduler::TaskRecord>& records);
ObjectResult task_info_object(const scheduler::TaskDetails& details);
ObjectResult definition_text(const std::string& xml);
// A str of UTF-8 text, such as a descriptor's SDDL.
ObjectResult text_result(const std::string& text);
ObjectResult datetime_list(const std::vector<long long>& instants);
// A list of str, from UTF-8 texts.
ObjectResult text_list(const std::vector<std::string>& texts);

// A RunningTask, a list of them, or a RunningTask or None (an instance that ended), each tied to
// `origin` (the Scheduler that made it, or None).
ObjectResult running_task_object(const scheduler::InstanceRecord& record, PyObject* origin);
ObjectResult running_task_list(const std::vector<scheduler::InstanceRecord>& records, PyObject* origin);
ObjectResult optional_running_task(const std::optional<scheduler::InstanceRecord>& record, PyObject* origin);

}  // namespace morvane::module
