// session_failure_error.cpp: a call that a Scheduler's session refused or the scheduler failed,
// as the exception the method raises.
#include <variant>

#include "module/operation_runner.hpp"
#include "module/scheduler_error_mapping.hpp"

namespace morvane::module {

PythonError session_failure_error(scheduler::SessionFailure failure) {
    if (auto* refusal = std::get_if<scheduler::SessionRefusal>(&failure)) {
        if (*refusal == scheduler::SessionRefusal::closed)
            return PythonError::with_message(PyExc_ValueError, "operation on a closed Scheduler");
        // The connection's objects and lock are copies of the parent's: using them would misuse both.
        return PythonError::with_message(PyExc_RuntimeError,
                                         "this Scheduler was opened by the process this one was forked from; "
                                         "open a new Scheduler in this process");
    }
    return map_scheduler_error(std::get<scheduler::SchedulerError>(std::move(failure)));
}

}  // namespace morvane::module
