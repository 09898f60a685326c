// scheduler_session_run.hpp: SchedulerSession::run and the lease it takes on the connection.
// Included by scheduler_session.hpp only.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "scheduler/multithreaded_call.hpp"
#include "scheduler/scheduler_session.hpp"

namespace morvane::scheduler {

struct SessionConnection;

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

template <class Outcome>
struct OutcomeValue;
template <class Value>
struct OutcomeValue<Result<Value, SchedulerError>> {
    using type = Value;
};

template <class Operation>
auto SchedulerSession::run(Operation&& operation) {
    using Outcome = std::invoke_result_t<Operation&, SchedulerConnection&>;
    using Value = typename OutcomeValue<Outcome>::type;
    if (refusal_in_this_process()) return SessionResult<Value>(Err{SessionFailure{SessionRefusal::other_process}});
    SessionState& state = *state_;
    return in_multithreaded_apartment([&]() -> SessionResult<Value> {
        Result<SessionLease, SessionFailure> lease = take_lease(state);
        if (!lease) return Err{std::move(lease).error()};
        Outcome outcome = operation(lease.value().connection());
        if (!outcome) {
            lease.value().note_failure(outcome.error());
            return Err{SessionFailure{std::move(outcome).error()}};
        }
        if constexpr (std::is_void_v<Value>) {
            return {};
        } else {
            return std::move(outcome).value();
        }
    });
}

}  // namespace morvane::scheduler
