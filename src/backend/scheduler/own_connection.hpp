// own_connection.hpp: with_own_connection, how a caller that keeps no connection runs a task
// operation: on a connection opened for it and closed before it returns. Free of platform names:
// the Python module includes it.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

struct ConnectionClose {
    void operator()(SchedulerConnection* connection) const noexcept;
};
// A connection opened by SchedulerConnection::open (the multithreaded apartment entered for it),
// closed when the owner goes.
using OwnConnection = std::unique_ptr<SchedulerConnection, ConnectionClose>;
Result<OwnConnection, SchedulerError> open_own_connection();

// operation(connection, arguments...) on a connection of its own; a failure to connect is the
// outcome's failure.
template <class Operation, class... Arguments>
auto with_own_connection(Operation&& operation, Arguments&&... arguments)
    -> std::invoke_result_t<Operation&, SchedulerConnection&, Arguments&&...> {
    Result<OwnConnection, SchedulerError> opened = open_own_connection();
    MORVANE_RETURN_IF_FAILED(opened);
    return operation(*opened.value(), std::forward<Arguments>(arguments)...);
}

}  // namespace morvane::scheduler
