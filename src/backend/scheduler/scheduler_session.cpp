// scheduler_session.cpp: opening a SchedulerSession, leasing its connection to calls, connecting
// anew after the service went away, and closing it.
#include "scheduler/scheduler_session.hpp"

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <optional>

#include "runtime/fork_generation.hpp"
#include "runtime/immortal.hpp"
#include "scheduler/multithreaded_apartment_usage.hpp"
#include "scheduler/scheduler_connection.hpp"

namespace morvane::scheduler {

// A connection with its own hold on the multithreaded apartment, so that the apartment outlives
// the connection's objects even when the last lease ends after the session closed. Members are
// destroyed in reverse order: the objects are released before the hold is given back.
struct SessionConnection {
    MultithreadedApartmentUsage usage;
    SchedulerConnection connection;
};

class SessionState {
public:
    SessionState(MultithreadedApartmentUsage usage, std::shared_ptr<SessionConnection> connection,
                 ConnectionTarget connected_to) noexcept
        : generation(fork_generation()), target(std::move(connected_to)), usage_(std::move(usage)),
          current_(std::move(connection)) {}

    const std::uint32_t generation;  // of the process that opened the session
    const ConnectionTarget target;   // where every connection of the session goes

    bool closed() const noexcept { return closed_.load(std::memory_order_acquire); }

    // The current connection, or null when there is none (closed: refused).
    Result<std::shared_ptr<SessionConnection>, SessionRefusal> current() {
        const std::lock_guard guard(lock_);
        if (closed()) return Err{SessionRefusal::closed};
        return current_;
    }

    // Makes made the current connection unless another thread installed one first; returns the
    // one to use. made is handed back to the caller to release outside the lock either way.
    Result<std::shared_ptr<SessionConnection>, SessionRefusal> install(std::shared_ptr<SessionConnection>& made) {
        const std::lock_guard guard(lock_);
        if (closed()) return Err{SessionRefusal::closed};
        if (!current_) current_ = made;
        return current_;
    }

    void drop(const std::shared_ptr<SessionConnection>& lost) noexcept {
        const std::lock_guard guard(lock_);
        if (current_ == lost) current_.reset();  // the lease that noted the loss still holds it
    }

    // Refuses later calls; hands over the connection and the apartment hold to release.
    bool close(std::shared_ptr<SessionConnection>& connection, std::optional<MultithreadedApartmentUsage>& usage) {
        const std::lock_guard guard(lock_);
        if (closed()) return false;
        closed_.store(true, std::memory_order_release);
        connection = std::move(current_);
        if (usage_) usage.emplace(std::move(*usage_));
        usage_.reset();
        return true;
    }

private:
    std::mutex lock_;
    std::atomic<bool> closed_{false};
    std::optional<MultithreadedApartmentUsage> usage_;
    std::shared_ptr<SessionConnection> current_;
};

namespace {

// Codes with which a call reports that the service, or the connection to it, is gone.
constexpr std::array<std::uint32_t, 6> lost_connection_codes = {
    0x800706BAu,  // HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE)
    0x800706BEu,  // HRESULT_FROM_WIN32(RPC_S_CALL_FAILED)
    0x80010108u,  // RPC_E_DISCONNECTED
    0x80010007u,  // RPC_E_SERVER_DIED
    0x80010012u,  // RPC_E_SERVER_DIED_DNE
    0x800401FDu,  // CO_E_OBJNOTCONNECTED
};

bool says_connection_lost(const SchedulerError& failure) noexcept {
    for (const std::uint32_t code : lost_connection_codes)
        if (static_cast<std::uint32_t>(failure.code) == code) return true;
    return false;
}

// On a thread of the multithreaded apartment that someone keeps alive.
Result<std::shared_ptr<SessionConnection>, SchedulerError> connect(const ConnectionTarget& target) {
    Result<MultithreadedApartmentUsage, SchedulerError> usage = MultithreadedApartmentUsage::keep();
    MORVANE_RETURN_IF_FAILED(usage);
    Result<SchedulerConnection, SchedulerError> connection = SchedulerConnection::open_in_kept_apartment(target);
    MORVANE_RETURN_IF_FAILED(connection);
    return std::make_shared<SessionConnection>(std::move(usage).value(), std::move(connection).value());
}

// Releases a connection on a thread of the multithreaded apartment (its objects belong there).
// When no such thread can be had, the connection is left unreleased rather than misused.
void release_in_apartment(std::shared_ptr<SessionConnection> connection) noexcept {
    if (!connection) return;
    try {
        in_multithreaded_apartment([&connection] {
            connection.reset();
            return 0;
        });
    } catch (...) {
        make_immortal(std::move(connection));
    }
}

}  // namespace

SchedulerConnection& SessionLease::connection() const noexcept { return held_->connection; }

void SessionLease::note_failure(const SchedulerError& failure) noexcept {
    if (says_connection_lost(failure)) state_->drop(held_);
}

Result<SessionLease, SessionFailure> take_lease(SessionState& state) {
    Result<std::shared_ptr<SessionConnection>, SessionRefusal> current = state.current();
    MORVANE_RETURN_IF_FAILED(current);
    if (current.value()) return SessionLease(state, std::move(current).value());

    Result<std::shared_ptr<SessionConnection>, SchedulerError> made = connect(state.target);
    MORVANE_RETURN_IF_FAILED(made);
    Result<std::shared_ptr<SessionConnection>, SessionRefusal> installed = state.install(made.value());
    MORVANE_RETURN_IF_FAILED(installed);
    return SessionLease(state, std::move(installed).value());
}

Result<SchedulerSession, SchedulerError> SchedulerSession::open(ConnectionTarget target) {
    Result<MultithreadedApartmentUsage, SchedulerError> usage = MultithreadedApartmentUsage::keep();
    MORVANE_RETURN_IF_FAILED(usage);
    Result<std::shared_ptr<SessionConnection>, SchedulerError> connection =
        in_multithreaded_apartment([&target] { return connect(target); });
    MORVANE_RETURN_IF_FAILED(connection);
    return SchedulerSession(std::make_unique<SessionState>(std::move(usage).value(), std::move(connection).value(),
                                                           std::move(target)));
}

SchedulerSession::SchedulerSession(std::unique_ptr<SessionState> state) noexcept : state_(std::move(state)) {}
SchedulerSession::SchedulerSession(SchedulerSession&&) noexcept = default;

SchedulerSession::~SchedulerSession() {
    if (!state_) return;
    close();
    if (refusal_in_this_process()) make_immortal(std::move(state_));
}

bool SchedulerSession::refusal_in_this_process() const noexcept {
    return state_->generation != fork_generation();
}

void SchedulerSession::close() noexcept {
    // A forked child leaves the parent's connection and lock alone: see state_.
    if (refusal_in_this_process()) return;
    std::shared_ptr<SessionConnection> connection;
    std::optional<MultithreadedApartmentUsage> usage;
    if (!state_->close(connection, usage)) return;
    release_in_apartment(std::move(connection));
    usage.reset();
}

bool SchedulerSession::closed() const noexcept { return state_->closed(); }

}  // namespace morvane::scheduler
