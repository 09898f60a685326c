// own_connection.cpp: opening and closing a connection of a caller's own.
#include "scheduler/own_connection.hpp"

#include "scheduler/scheduler_connection.hpp"

namespace morvane::scheduler {

void ConnectionClose::operator()(SchedulerConnection* connection) const noexcept { delete connection; }

Result<OwnConnection, SchedulerError> open_own_connection() {
    Result<SchedulerConnection, SchedulerError> opened = SchedulerConnection::open();
    MORVANE_RETURN_IF_FAILED(opened);
    return OwnConnection(new SchedulerConnection(std::move(opened).value()));
}

}  // namespace morvane::scheduler
