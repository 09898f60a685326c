// session_checks.cpp: sessions under Wine. A session keeps the multithreaded apartment and one
// connection; every call made through it must give the answer of a connection of its own.
#include "session_checks.hpp"

#include <windows.h>

#include <objbase.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <string>
#include <string_view>
#include <thread>

#include "scheduler/multithreaded_apartment_usage.hpp"
#include "scheduler/own_connection.hpp"
#include "scheduler/scheduler_session.hpp"
#include "scheduler/task_operations.hpp"
#include "system_text.hpp"

namespace {

namespace client = morvane::scheduler;
using client::SchedulerConnection;
using client::SchedulerSession;

constexpr std::string_view kMissing = "MorvaneSessionMissing";
constexpr std::string_view kTaskName = "MorvaneSessionCheck";
constexpr std::string_view kTaskXml = R"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Settings><Enabled>true</Enabled></Settings>
  <Actions><Exec><Command>cmd.exe</Command></Exec></Actions>
</Task>
)";

std::string describe(const client::SessionResult<bool>& outcome) {
    if (outcome) return outcome.value() ? "true" : "false";
    if (const auto* failure = std::get_if<client::SchedulerError>(&outcome.error()))
        return std::string(failure->operation) + " " + formatted_code(failure->code) + " \"" + failure->message + "\"";
    return std::get<client::SessionRefusal>(outcome.error()) == client::SessionRefusal::closed ? "refused: closed"
                                                                                               : "refused: other process";
}

client::SessionResult<bool> exists(SchedulerSession& session, std::string_view name) {
    return session.run([name](SchedulerConnection& connection) { return client::task_exists(connection, name); });
}

bool answers(const client::SessionResult<bool>& outcome, bool expected) {
    return outcome.ok() && outcome.value() == expected;
}

// The answer to task_exists(name) from a new thread, which first enters the given apartment
// (COINIT_APARTMENTTHREADED or COINIT_MULTITHREADED) unless `enter` is false.
client::SessionResult<bool> exists_from_thread(SchedulerSession& session, std::string_view name, bool enter,
                                               DWORD model) {
    client::SessionResult<bool> outcome = false;
    std::thread caller([&] {
        const HRESULT entered = enter ? CoInitializeEx(nullptr, model) : S_FALSE;
        outcome = exists(session, name);
        if (enter && SUCCEEDED(entered)) CoUninitialize();
    });
    caller.join();
    return outcome;
}

bool outside_any_apartment() {
    APTTYPE type{};
    APTTYPEQUALIFIER qualifier{};
    return CoGetApartmentType(&type, &qualifier) == CO_E_NOTINITIALIZED;
}

}  // namespace

void check_sessions(CheckReport& report) {
    auto opened = SchedulerSession::open();
    if (!opened) {
        report.check(false, "a session opens", std::string(opened.error().operation) + " " + opened.error().message);
        return;
    }
    SchedulerSession& session = opened.value();
    // The session keeps the multithreaded apartment: a thread in no apartment is in it (implicitly)
    // and calls the connection's objects itself, starting no thread.
    report.check(client::thread_in_multithreaded_apartment(),
                 "a thread in no apartment is in the session's multithreaded apartment");
    auto missing = exists(session, kMissing);
    report.check(answers(missing, false), "a session's task_exists of a missing task is false", describe(missing));

    auto registered = session.run([](SchedulerConnection& c) { return client::register_xml(c, kTaskName, kTaskXml); });
    auto present = exists_from_thread(session, kTaskName, false, 0);
    report.check(registered.ok() && answers(present, true),
                 "a task registered through a session is seen from a thread in no apartment", describe(present));
    auto from_sta = exists_from_thread(session, kTaskName, true, COINIT_APARTMENTTHREADED);
    report.check(answers(from_sta, true), "a session works from a thread in a single-threaded apartment",
                 describe(from_sta));
    auto from_mta = exists_from_thread(session, kTaskName, true, COINIT_MULTITHREADED);
    report.check(answers(from_mta, true), "a session works from a thread in the multithreaded apartment",
                 describe(from_mta));
    auto deleted = session.run([](SchedulerConnection& c) { return client::delete_task(c, kTaskName); });
    auto gone = exists(session, kTaskName);
    report.check(deleted.ok() && answers(gone, false), "a session deletes the task", describe(gone));

    session.close();
    auto refused = exists(session, kMissing);
    report.check(!refused.ok() && std::holds_alternative<client::SessionRefusal>(refused.error()),
                 "a closed session refuses calls", describe(refused));
    report.check(outside_any_apartment(), "a closed session leaves no apartment behind");
}

void print_session_speed() {
    constexpr int kCalls = 200;
    using Clock = std::chrono::steady_clock;
    auto opened = SchedulerSession::open();
    if (!opened) {
        std::printf("bench: no session: %s\n", opened.error().message.c_str());
        return;
    }
    SchedulerSession& session = opened.value();
    double own_best = 1e300;
    double session_best = 1e300;
    for (int round = 0; round < 3; ++round) {
        const Clock::time_point own_start = Clock::now();
        for (int call = 0; call < kCalls; ++call) (void)client::with_own_connection(client::task_exists, kMissing);
        const Clock::time_point session_start = Clock::now();
        for (int call = 0; call < kCalls; ++call) (void)exists(session, kMissing);
        const Clock::time_point end = Clock::now();
        own_best = std::min(own_best, std::chrono::duration<double>(session_start - own_start).count());
        session_best = std::min(session_best, std::chrono::duration<double>(end - session_start).count());
    }
    std::printf("bench: %d task_exists calls, a connection each / in one session: %.1f (%.2f ms / %.3f ms a call)\n",
                kCalls, own_best / session_best, own_best * 1000 / kCalls, session_best * 1000 / kCalls);
    std::fflush(stdout);
}
