// own_connection.cpp: opening and closing an OwnConnection.
#include "scheduler/own_connection.hpp"

#include "scheduler/scheduler_connection.hpp"

namespace morvane::scheduler {

Result<OwnConnection, SchedulerError> OwnConnection::open() {
    Result<SchedulerConnection, SchedulerError> opened = SchedulerConnection::open();
    MORVANE_RETURN_IF_FAILED(opened);
    return OwnConnection(std::make_unique<SchedulerConnection>(std::move(opened).value()));
}

OwnConnection::OwnConnection(std::unique_ptr<SchedulerConnection> connection) noexcept
    : connection_(std::move(connection)) {}
OwnConnection::OwnConnection(OwnConnection&&) noexcept = default;
OwnConnection::~OwnConnection() = default;

}  // namespace morvane::scheduler
