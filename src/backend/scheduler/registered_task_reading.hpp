// registered_task_reading.hpp: looking a task up on a connection and reading what it tells.
#pragma once

#include <string>
#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/com_ptr.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/scheduler_connection.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::scheduler {

// GetTask of the name in the root folder; the name's BSTR is freed before it returns.
Result<ComPtr<IRegisteredTask>, SchedulerError> get_task(SchedulerConnection& connection, std::string_view task_name);

// A BSTR property (get_Path, get_Name, get_Xml) as UTF-8; a null BSTR is a call without an object.
using TextGetter = HRESULT (STDMETHODCALLTYPE IRegisteredTask::*)(BSTR*);
Result<std::string, SchedulerError> read_text_property(IRegisteredTask& task, TextGetter getter,
                                                       std::string_view label);

// Every property of the task, in the order path, name, state, enabled, last run time, last task
// result, next run time, number of missed runs; the first failing read is the error.
Result<TaskRecord, SchedulerError> read_task_record(IRegisteredTask& task);

// The same for a task met in a listing: only a failing read of the path or the name is an error.
// A task whose other properties cannot be read (its stored state is damaged) is listed as it is
// known: unknown state, not enabled, no times, no missed runs, and as last task result the code of
// the read that failed.
Result<TaskRecord, SchedulerError> read_listed_task_record(IRegisteredTask& task);

}  // namespace morvane::scheduler
