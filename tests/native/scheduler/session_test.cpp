// session_test.cpp: a SchedulerSession from threads in every apartment, closed, forked, and after
// the service went away: each call gets the answer of a call on a connection of its own, and the
// session holds one connection and the apartment alive from open to close, misusing nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include <winemu/com.h>
#include <winemu/control.h>

#include "scheduler/scheduler_session.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using testing_support::describe;
using testing_support::kTaskXml;
using testing_support::run_on_thread;
using testing_support::StartApartment;

class Session : public testing_support::SchedulerTest {};

SchedulerSession open_session() {
    Result<SchedulerSession, SchedulerError> opened = SchedulerSession::open();
    if (!opened) throw std::runtime_error(describe(opened.error()));
    return std::move(opened).value();
}

SessionResult<bool> exists(SchedulerSession& session, std::string_view name) {
    return session.run([name](SchedulerConnection& connection) { return task_exists(connection, name); });
}

// The scheduler's failure of a failed call, or a test failure for a refusal.
SchedulerError scheduler_failure(const SessionResult<bool>& outcome) {
    EXPECT_FALSE(outcome);
    if (outcome) return {};
    const auto* failure = std::get_if<SchedulerError>(&outcome.error());
    EXPECT_NE(failure, nullptr);
    return failure ? *failure : SchedulerError{};
}

bool refused(const SessionResult<bool>& outcome, SessionRefusal refusal) {
    if (outcome) return false;
    const auto* reason = std::get_if<SessionRefusal>(&outcome.error());
    return reason != nullptr && *reason == refusal;
}

bool multithreaded_apartment_exists() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return CoGetApartmentType(&type, &qualifier) != CO_E_NOTINITIALIZED;
}

TEST_F(Session, CallsFromThreadsInEveryApartmentShareOneConnection) {
    const long long connects = winemu_call_count("Connect");
    {
        SchedulerSession session = open_session();
        ASSERT_TRUE(session.run([](SchedulerConnection& c) { return register_xml(c, "Shared", kTaskXml); }));
        for (StartApartment apartment :
             {StartApartment::none, StartApartment::multithreaded, StartApartment::single_threaded}) {
            run_on_thread(apartment, [&] {
                SessionResult<bool> found = exists(session, "Shared");
                ASSERT_TRUE(found) << testing_support::name_of(apartment);
                EXPECT_TRUE(found.value());
                EXPECT_FALSE(exists(session, "Missing").value());
            });
        }
        EXPECT_EQ(testing_support::violations(), "[]");
    }
    EXPECT_EQ(winemu_call_count("Connect") - connects, 1);
    EXPECT_FALSE(multithreaded_apartment_exists());
}

TEST_F(Session, ManyThreadsAtOnceUseTheOneConnection) {
    SchedulerSession session = open_session();
    const long long connects = winemu_call_count("Connect");
    std::atomic<int> wrong{0};
    std::vector<std::thread> threads;
    for (int thread = 0; thread < 8; ++thread)
        threads.emplace_back([&] {
            for (int call = 0; call < 200; ++call)
                if (!exists(session, "Missing") || exists(session, "Missing").value()) ++wrong;
        });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(wrong.load(), 0);
    EXPECT_EQ(winemu_call_count("Connect"), connects);
}

TEST_F(Session, AClosedSessionRefusesAndReleasesEverything) {
    SchedulerSession session = open_session();
    EXPECT_FALSE(session.closed());
    session.close();
    session.close();
    EXPECT_TRUE(session.closed());
    EXPECT_TRUE(refused(exists(session, "Missing"), SessionRefusal::closed));
    EXPECT_FALSE(multithreaded_apartment_exists());
    testing_support::expect_nothing_outstanding();
}

// The call in flight holds the connection: it finishes on it, and the connection goes with it.
TEST_F(Session, ClosingWhileACallRunsLetsTheCallFinish) {
    SchedulerSession session = open_session();
    winemu_set_latency(0.05);
    std::atomic<bool> started{false};
    SessionResult<bool> in_flight = SessionResult<bool>(false);
    std::thread caller([&] {
        in_flight = session.run([&](SchedulerConnection& connection) {
            started = true;
            return task_exists(connection, "Missing");
        });
    });
    while (!started) std::this_thread::yield();
    session.close();
    caller.join();
    winemu_set_latency(0);
    ASSERT_TRUE(in_flight) << describe(scheduler_failure(in_flight));
    EXPECT_FALSE(in_flight.value());
    EXPECT_TRUE(refused(exists(session, "Missing"), SessionRefusal::closed));
}

// A failure that says the service went away drops the connection; the next call connects anew.
// Other failures keep it. Calls are not repeated: the failing call fails.
TEST_F(Session, ALostConnectionIsMadeAnewByTheNextCall) {
    struct Case {
        std::uint32_t code;
        bool lost;
    };
    const Case cases[] = {
        {0x80010108u, true},  {0x800706BAu, true},  {0x800706BEu, true},  {0x80010007u, true},
        {0x80010012u, true},  {0x800401FDu, true},  {0x80070005u, false}, {0x80004005u, false},
    };
    SchedulerSession session = open_session();
    for (const Case& row : cases) {
        SCOPED_TRACE(row.code);
        const long long connects = winemu_call_count("Connect");
        winemu_fail_next("GetTask", static_cast<HRESULT>(row.code), nullptr, nullptr);
        EXPECT_EQ(static_cast<std::uint32_t>(scheduler_failure(exists(session, "Missing")).code), row.code);
        EXPECT_EQ(winemu_call_count("Connect"), connects);
        EXPECT_FALSE(exists(session, "Missing").value());
        EXPECT_EQ(winemu_call_count("Connect") - connects, row.lost ? 1 : 0);
    }
}

// The service going away ends every object of the old connection: the session replaces them all.
TEST_F(Session, AServiceThatWentAwayIsConnectedToAnew) {
    SchedulerSession session = open_session();
    ASSERT_TRUE(session.run([](SchedulerConnection& c) { return register_xml(c, "Kept", kTaskXml); }));
    winemu_disconnect_service(0);
    EXPECT_EQ(static_cast<std::uint32_t>(scheduler_failure(exists(session, "Kept")).code), 0x80010108u);
    for (int call = 0; call < 3; ++call) EXPECT_TRUE(exists(session, "Kept").value());
    EXPECT_EQ(testing_support::violations(), "[]");
}

TEST_F(Session, AFailedReconnectFailsThatCallAndTheNextTriesAgain) {
    SchedulerSession session = open_session();
    winemu_fail_next("GetTask", static_cast<HRESULT>(0x80010108u), nullptr, nullptr);
    EXPECT_FALSE(exists(session, "Missing"));
    winemu_fail_next("Connect", static_cast<HRESULT>(0x80070005u), nullptr, nullptr);
    const SchedulerError failure = scheduler_failure(exists(session, "Missing"));
    EXPECT_EQ(failure.operation, "Connect");
    EXPECT_EQ(static_cast<std::uint32_t>(failure.code), 0x80070005u);
    EXPECT_FALSE(exists(session, "Missing").value());
}

TEST_F(Session, AFailedOpenGivesEverythingBack) {
    for (const char* call : {"CoIncrementMTAUsage", "CoCreateInstance", "Connect", "GetFolder"}) {
        winemu_fail_next(call, static_cast<HRESULT>(0x80070005u), nullptr, nullptr);
        Result<SchedulerSession, SchedulerError> opened = SchedulerSession::open();
        ASSERT_FALSE(opened) << call;
        EXPECT_EQ(opened.error().operation, call);
        EXPECT_FALSE(multithreaded_apartment_exists()) << call;
        testing_support::expect_nothing_outstanding();
    }
}

// The child of a fork has a copy of the parent's connection: it refuses to use it or release it,
// and opens a session of its own.
TEST_F(Session, AForkedChildRefusesTheParentsSessionAndOpensItsOwn) {
    SchedulerSession session = open_session();
    const pid_t child = fork();
    ASSERT_NE(child, -1);
    if (child == 0) {
        int status = 0;
        if (!refused(exists(session, "Missing"), SessionRefusal::other_process)) status |= 1;
        session.close();
        Result<SchedulerSession, SchedulerError> own = SchedulerSession::open();
        if (!own || exists(own.value(), "Missing").value()) status |= 2;
        _exit(status);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_FALSE(exists(session, "Missing").value());
}

}  // namespace
}  // namespace morvane::scheduler
