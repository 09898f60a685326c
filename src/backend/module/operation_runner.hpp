// operation_runner.hpp: Runner, how a task operation's call reaches the service: with the
// interpreter lock released, on the connection its way of being called gives it (a connection of
// its own for a module function, the session's for a Scheduler method), its failure made into
// the exception to raise after the lock was taken back.
#pragma once

#include <string_view>
#include <type_traits>
#include <utility>

#include "module/interpreter_lock.hpp"
#include "module/python_error.hpp"
#include "module/scheduler_error_mapping.hpp"
#include "module/scheduler_object.hpp"
#include "runtime/result.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/scheduler_session.hpp"

namespace morvane::module {

// ValueError for a closed session, RuntimeError in a process forked from the opener's, else the
// package's exception for the scheduler's failure.
PythonError session_failure_error(scheduler::SessionFailure failure);

// A module-level function (METH_STATIC: self is NULL and ignored): each call opens a connection
// of its own and closes it before it returns.
struct AsModuleFunction {
    static constexpr std::string_view class_name = {};  // the binder names "<function>()"
    static constexpr int method_flags = METH_FASTCALL | METH_KEYWORDS | METH_STATIC;

    static AsModuleFunction of(PyObject*) noexcept { return {}; }

    template <class Operation>
    auto run(Operation& operation) const {
        return scheduler::with_own_connection(operation);
    }
    static PythonError error_of(scheduler::SchedulerError failure) {
        return map_scheduler_error(std::move(failure));
    }
};

// A method of Scheduler (the method descriptor checked that self is one): each call leases the
// connection its session keeps.
struct AsSchedulerMethod {
    static constexpr std::string_view class_name = "Scheduler";  // the binder names "Scheduler.<method>()"
    static constexpr int method_flags = METH_FASTCALL | METH_KEYWORDS;

    scheduler::SchedulerSession& session;

    static AsSchedulerMethod of(PyObject* self) noexcept { return {session_of(self)}; }

    template <class Operation>
    auto run(Operation& operation) const {
        return session.run(operation);
    }
    static PythonError error_of(scheduler::SessionFailure failure) {
        return session_failure_error(std::move(failure));
    }
};

// Runs an operation(SchedulerConnection&) -> Result<Value, SchedulerError> as Calls decides, and
// answers its value or the exception to raise.
template <class Calls>
struct Runner {
    Calls calls;

    template <class Operation>
    auto run(Operation&& operation) const {
        using Value = typename std::invoke_result_t<Operation&, scheduler::SchedulerConnection&>::value_type;
        auto outcome = without_interpreter_lock([&] { return calls.run(operation); });
        if (!outcome) return Result<Value, PythonError>(Err{Calls::error_of(std::move(outcome).error())});
        if constexpr (std::is_void_v<Value>) {
            return Result<Value, PythonError>();
        } else {
            return Result<Value, PythonError>(std::move(outcome).value());
        }
    }
};

}  // namespace morvane::module
