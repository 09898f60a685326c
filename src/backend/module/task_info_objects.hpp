// task_info_objects.hpp: TaskInfo objects of the package's module morvane.task_records, made from the
// scheduler's task records.
#pragma once

#include "module/local_datetime.hpp"
#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::module {

// TaskInfo(path, name, enabled, TaskState(state), last_run_time, next_run_time,
// last_task_result, number_of_missed_runs). The classes and TaskState's members are looked up once
// per process, on first need (failing then is an InternalFailure: the package is broken); what
// calling TaskInfo raises is the error.
Result<PyRef, PythonError> make_task_info(const scheduler::TaskRecord& record, LocalDatetimeMaker& times);

}  // namespace morvane::module
