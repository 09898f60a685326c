// own_connection_runner.hpp: OwnConnectionRunner, how a module-level function runs its scheduler
// operation: on a connection of its own, opened for the call and closed before it returns.
#pragma once

#include <type_traits>
#include <utility>

#include "module/interpreter_lock.hpp"
#include "module/python_error.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "runtime/result.hpp"

namespace morvane::module {

template <class Outcome>
struct OperationValue;
template <class Value>
struct OperationValue<Result<Value, scheduler::SchedulerError>> {
    using type = Value;
};

// A body hands a runner an operation that can be called with no connection (the scheduler's
// own-connection form) or with a SchedulerConnection& (a kept connection), as
// [&](auto&... connection) { return scheduler::task_exists(connection..., name); } is. The
// runner calls it with the interpreter lock released and answers its value, or the package's
// exception made after the lock was taken back.
struct OwnConnectionRunner {
    template <class Operation>
    auto run(Operation&& operation) const {
        using Value = typename OperationValue<std::invoke_result_t<Operation&>>::type;
        Result<Value, scheduler::SchedulerError> outcome = without_interpreter_lock(operation);
        if (!outcome) return Result<Value, PythonError>(Err{map_scheduler_error(std::move(outcome).error())});
        if constexpr (std::is_void_v<Value>) {
            return Result<Value, PythonError>();
        } else {
            return Result<Value, PythonError>(std::move(outcome).value());
        }
    }
};

}  // namespace morvane::module
