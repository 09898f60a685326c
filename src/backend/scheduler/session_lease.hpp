// session_lease.hpp: how a session's call fails, and its hold on the session's connection.
// Free of platform names: the Python module includes it (through scheduler_session.hpp).
#pragma once

#include <memory>
#include <variant>

#include "runtime/result.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

class SchedulerConnection;
class SessionState;
struct SessionConnection;

// Why a session refuses a call before the service is asked: it was closed, or it was opened by
// the process this one was forked from (its connection belongs to that process).
enum class SessionRefusal { closed, other_process };

// A call on a session fails with the session's refusal or with the scheduler's failure.
using SessionFailure = std::variant<SessionRefusal, SchedulerError>;

template <class Value>
using SessionResult = Result<Value, SessionFailure>;

// One call's hold on the session's connection: the connection lives while a lease holds it, even
// after the session dropped it (closed, or lost).
class SessionLease {
public:
    SessionLease(SessionState& state, std::shared_ptr<SessionConnection> held) noexcept
        : state_(&state), held_(std::move(held)) {}

    SchedulerConnection& connection() const noexcept;
    // Drops the connection from the session when the failure says the service went away, so that
    // the next call connects anew. The lease still holds it until it ends.
    void note_failure(const SchedulerError& failure) noexcept;

private:
    SessionState* state_;
    std::shared_ptr<SessionConnection> held_;
};

// The session's connection for one call, connecting first when it has none. Call it on a thread
// of the multithreaded apartment.
Result<SessionLease, SessionFailure> take_lease(SessionState& state);

}  // namespace morvane::scheduler
