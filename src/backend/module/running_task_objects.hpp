// running_task_objects.hpp: RunningTask objects of the package's module morvane.running_instance, made
// from the scheduler's instance records.
#pragma once

#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/running_instances.hpp"

namespace morvane::module {

// RunningTask(instance_guid, path, name, current_action, pid, TaskState(state), origin): origin is
// the Scheduler whose method made it, or None for a module function; the instance's later calls
// (refresh, stop, wait) go through it. The class is looked up once per process, on first need.
Result<PyRef, PythonError> make_running_task(const scheduler::InstanceRecord& record, PyObject* origin);

}  // namespace morvane::module
