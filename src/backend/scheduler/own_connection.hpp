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

// A SchedulerConnection opened by open() (the multithreaded apartment entered for it), closed
// when the owner goes.
class OwnConnection {
public:
    static Result<OwnConnection, SchedulerError> open();

    OwnConnection(OwnConnection&&) noexcept;
    OwnConnection& operator=(OwnConnection&&) = delete;
    ~OwnConnection();

    SchedulerConnection& connection() const noexcept { return *connection_; }

private:
    explicit OwnConnection(std::unique_ptr<SchedulerConnection> connection) noexcept;

    std::unique_ptr<SchedulerConnection> connection_;
};

// operation(connection, arguments...) on a connection of its own; a failure to connect is the
// outcome's failure.
template <class Operation, class... Arguments>
auto with_own_connection(Operation&& operation, Arguments&&... arguments)
    -> std::invoke_result_t<Operation&, SchedulerConnection&, Arguments&&...> {
    Result<OwnConnection, SchedulerError> opened = OwnConnection::open();
    MORVANE_RETURN_IF_FAILED(opened);
    return operation(opened.value().connection(), std::forward<Arguments>(arguments)...);
}

}  // namespace morvane::scheduler
