// connection_facts.hpp: what the service says of a connection: the computer it reached and the
// account it acts as. Free of platform names: the Python module includes it.
#pragma once

#include <string>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// get_TargetServer, get_ConnectedUser and get_ConnectedDomain of ITaskService.
enum class ConnectionFact { target_server, connected_user, connected_domain };

// The fact as the service gives it, as UTF-8; a failing read is the error under its call's label.
Result<std::string, SchedulerError> connection_fact(SchedulerConnection& connection, ConnectionFact fact);

}  // namespace morvane::scheduler
