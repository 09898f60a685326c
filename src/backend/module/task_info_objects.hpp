// task_info_objects.hpp: TaskInfo objects (and the helpers the package's other records share) of the package's module morvane.task_records, made from the
// scheduler's task records.
#pragma once

#include <cstddef>
#include <string_view>

#include "module/local_datetime.hpp"
#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/task_record.hpp"

namespace morvane::module {

// TaskInfo(path, name, enabled, TaskState(state), last_run_time, next_run_time,
// last_task_result, number_of_missed_runs[, principal]). The classes and TaskState's members are
// looked up once per process, on first need (failing then is an InternalFailure: the package is
// broken); what calling TaskInfo raises is the error.
// The member of TaskState for the state (borrowed: the members live as long as the process).
PyObject* task_state_member(scheduler::TaskState state);

// A class or function of a module of the package, looked up anew (the caller keeps it); failing
// is an InternalFailure: the package is broken.
PyObject* package_attribute(const char* module, const char* name);

// A positional call of a class; its failure, or what it raised, is the error. arguments[-1] is a
// spare slot that the callee may borrow.
Result<PyRef, PythonError> call_positionally(PyObject* callable, PyObject** arguments, std::size_t count);

// A new str of the text, a new int; failing is an InternalFailure.
PyRef make_text(std::string_view text);
PyRef make_integer(long long value);

// The principal of a registered definition's text (a str), read by morvane.task_records (which
// keeps what it read by the text).
Result<PyRef, PythonError> registered_principal(PyObject* xml);

// principal: the Principal (or None) for TaskInfo's principal; null leaves its default, None.
Result<PyRef, PythonError> make_task_info(const scheduler::TaskRecord& record, LocalDatetimeMaker& times,
                                          PyObject* principal = nullptr);

}  // namespace morvane::module
