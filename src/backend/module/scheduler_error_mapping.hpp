// scheduler_error_mapping.hpp: a failed scheduler call as the package's exception.
#pragma once

#include "module/python_error.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::module {

// Calls morvane.errors.TaskPermissionError (for E_ACCESSDENIED) or TaskSchedulerError (for any
// other code) with (message, code read unsigned, operation label), and returns what it returns as
// the error to raise. Looked up afresh every time, so a replaced class takes effect at once. A
// Python failure on the way (import, lookup, the call) is returned instead.
PythonError map_scheduler_error(scheduler::SchedulerError error);

}  // namespace morvane::module
