// scheduler_session.hpp: SchedulerSession, one connection to the Task Scheduler service kept open
// for any number of task operations, from any number of threads at once.
// Free of platform names: the Python module includes it.
#pragma once

#include <memory>
#include <type_traits>
#include <utility>

#include "runtime/result.hpp"
#include "scheduler/connection_target.hpp"
#include "scheduler/multithreaded_call.hpp"
#include "scheduler/scheduler_error.hpp"
#include "scheduler/session_lease.hpp"

namespace morvane::scheduler {

class SchedulerConnection;

// The session keeps the multithreaded apartment alive (CoIncrementMTAUsage) from open() to
// close(), and its connection's objects live there. Every operation runs on a thread of that
// apartment: the caller's own when it is in it (entered, or in no apartment at all: the implicit
// one), else a thread started for the call, which the caller waits for (a thread in a
// single-threaded apartment may not call the apartment's objects directly).
//
// A failure that says the service went away (RPC_S_SERVER_UNAVAILABLE, RPC_E_DISCONNECTED and
// their kin) fails that call and drops the connection; the next call connects anew. A call that
// finds no connection (after such a loss, or when connecting failed) connects first and fails
// with the connecting step's error when that fails. Calls are never repeated.
//
// close() refuses every later call at once; calls already running finish on the connection,
// which is released when the last of them ends. In a process forked from the one that opened
// it, every call is refused and close() forgets the connection without releasing it.
class SchedulerSession {
public:
    // Keeps the multithreaded apartment alive, then connects as SchedulerConnection::open does,
    // to the target's computer with its credentials, which the session keeps (the password in
    // memory wiped when the session is destroyed) to connect anew after a loss.
    static Result<SchedulerSession, SchedulerError> open(ConnectionTarget target = {});

    SchedulerSession(SchedulerSession&&) noexcept;
    SchedulerSession& operator=(SchedulerSession&&) = delete;
    SchedulerSession(const SchedulerSession&) = delete;
    SchedulerSession& operator=(const SchedulerSession&) = delete;
    // Closes the session if it is still open.
    ~SchedulerSession();

    // Runs operation(SchedulerConnection&) -> Result<Value, SchedulerError> on the session's
    // connection and returns its outcome as a SessionResult<Value>. Any thread, without the
    // interpreter lock; an InternalFailure thrown by the operation reaches the caller.
    template <class Operation>
    auto run(Operation&& operation);

    // Refuses later calls and lets the connection go (see above). Idempotent; any thread.
    void close() noexcept;
    bool closed() const noexcept;

private:
    explicit SchedulerSession(std::unique_ptr<SessionState> state) noexcept;

    // True in a process forked from the one that opened the session.
    bool refusal_in_this_process() const noexcept;

    // Destroyed with the session, except in a forked child, where it is made immortal instead (its
    // connection and lock are copies of the parent's, which the child must not use).
    std::unique_ptr<SessionState> state_;
};

template <class Operation>
auto SchedulerSession::run(Operation&& operation) {
    using Outcome = std::invoke_result_t<Operation&, SchedulerConnection&>;
    using Value = typename Outcome::value_type;
    if (refusal_in_this_process()) return SessionResult<Value>(Err{SessionFailure{SessionRefusal::other_process}});
    SessionState& state = *state_;
    return in_multithreaded_apartment([&]() -> SessionResult<Value> {
        Result<SessionLease, SessionFailure> lease = take_lease(state);
        MORVANE_RETURN_IF_FAILED(lease);
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
