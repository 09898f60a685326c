// session_runner.hpp: SessionRunner, how a Scheduler method runs its scheduler operation: on the
// connection its session keeps (see own_connection_runner.hpp for the operation's shape).
#pragma once

#include <type_traits>
#include <utility>

#include "module/interpreter_lock.hpp"
#include "module/own_connection_runner.hpp"
#include "module/python_error.hpp"
#include "scheduler/scheduler_session.hpp"

namespace morvane::module {

// ValueError for a closed session, RuntimeError in a process forked from the opener's, else the
// package's exception for the scheduler's failure.
PythonError session_failure_error(scheduler::SessionFailure failure);

struct SessionRunner {
    scheduler::SchedulerSession& session;

    template <class Operation>
    auto run(Operation&& operation) const {
        using Value = typename OperationValue<std::invoke_result_t<Operation&>>::type;
        scheduler::SessionResult<Value> outcome = without_interpreter_lock(
            [&] { return session.run([&](scheduler::SchedulerConnection& connection) { return operation(connection); }); });
        if (!outcome) return Result<Value, PythonError>(Err{session_failure_error(std::move(outcome).error())});
        if constexpr (std::is_void_v<Value>) {
            return Result<Value, PythonError>();
        } else {
            return Result<Value, PythonError>(std::move(outcome).value());
        }
    }
};

}  // namespace morvane::module
