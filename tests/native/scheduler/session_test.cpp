// session_test.cpp: a SchedulerSession from threads in every apartment, closed, forked, and after
// the service went away: each call gets the answer of a call on a connection of its own, and the
// session holds one connection and the apartment alive from open to close, misusing nothing.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <thread>
#include <vector>

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
            });
        }
        EXPECT_EQ(testing_support::violations(), "[]");
    }
    EXPECT_EQ(winemu_call_count("Connect") - connects, 1);
}

}  // namespace
}  // namespace morvane::scheduler
