// scheduler_fixture.cpp: the temporary task library, apartment threads and leak checks of the tests.
#include "scheduler_fixture.hpp"

#include <filesystem>
#include <random>
#include <thread>

#include "scheduler/own_connection.hpp"
#include "scheduler/task_operations.hpp"

namespace morvane::scheduler::testing_support {
namespace {

template <typename Outcome>
std::optional<SchedulerError> error_of(const Outcome& outcome) {
    return outcome ? std::nullopt : std::optional(outcome.error());
}

constexpr int kMultithreaded = 1;
constexpr int kSingleThreaded = 0;
constexpr HRESULT kChangedMode = static_cast<HRESULT>(0x80010106u);

std::string fresh_directory() {
    std::random_device random;
    const auto base = std::filesystem::temp_directory_path();
    for (;;) {
        auto candidate = base / ("morvane-scheduler-test-" + std::to_string(random()));
        if (std::filesystem::create_directory(candidate)) return candidate.string();
    }
}

// Probes the calling thread's apartment without changing it: a repeated entry into the same
// model answers S_FALSE, into the other RPC_E_CHANGED_MODE, into none S_OK.
void expect_thread_in(StartApartment apartment) {
    const HRESULT multi = winemu_enter_apartment(kMultithreaded);
    if (multi >= 0) winemu_leave_apartment();
    switch (apartment) {
        case StartApartment::none:
            EXPECT_EQ(multi, 0) << "the thread was left inside an apartment";
            break;
        case StartApartment::multithreaded:
            EXPECT_EQ(multi, 1) << "the thread is no longer in the multithreaded apartment";
            break;
        case StartApartment::single_threaded:
            EXPECT_EQ(multi, kChangedMode) << "the thread is no longer in its single-threaded apartment";
            break;
    }
}

}  // namespace

const char* name_of(StartApartment apartment) {
    switch (apartment) {
        case StartApartment::none: return "NoApartment";
        case StartApartment::single_threaded: return "SingleThreaded";
        case StartApartment::multithreaded: return "Multithreaded";
    }
    return "?";
}

void SchedulerTest::SetUp() {
    library_ = fresh_directory();
    ASSERT_EQ(winemu_set_task_library(library_.c_str()), 0);
    winemu_clear_faults();
    expect_nothing_outstanding();
}

void SchedulerTest::TearDown() {
    EXPECT_EQ(winemu_pending_faults(), 0u) << "a queued fault was never reached";
    winemu_clear_faults();
    expect_nothing_outstanding();
    std::error_code ignored;
    std::filesystem::remove_all(library_, ignored);
}

void run_on_thread(StartApartment apartment, const std::function<void()>& body) {
    std::thread thread([&] {
        if (apartment != StartApartment::none) {
            const int model = apartment == StartApartment::multithreaded ? kMultithreaded : kSingleThreaded;
            ASSERT_EQ(winemu_enter_apartment(model), 0);
        }
        body();
        expect_thread_in(apartment);
        if (apartment != StartApartment::none) winemu_leave_apartment();
    });
    thread.join();
}

void expect_nothing_outstanding() {
    const winemu_outstanding_counts counts = winemu_outstanding();
    EXPECT_EQ(counts.objects, 0);
    EXPECT_EQ(counts.bstrs, 0);
    EXPECT_EQ(counts.apartments, 0);
    EXPECT_EQ(counts.buffers, 0);
    EXPECT_EQ(counts.libraries, 0) << "a library handle from LoadLibraryExA was never freed";
    EXPECT_EQ(counts.mta_usages, 0) << "a CoIncrementMTAUsage cookie was never given back";
    EXPECT_EQ(violations(), "[]");
    winemu_clear_violations();
}

std::string violations() {
    std::string text(winemu_violations(nullptr, 0), '\0');
    winemu_violations(text.data(), text.size() + 1);
    return text;
}

std::string describe(const SchedulerError& error) {
    return std::string(error.operation) + " " + std::to_string(error.code) + ": " + error.message;
}

const char* name_of(Operation operation) {
    switch (operation) {
        case Operation::run_task: return "run_task";
        case Operation::delete_task: return "delete_task";
        case Operation::task_exists: return "task_exists";
        case Operation::register_xml: return "register_xml";
    }
    return "?";
}

std::optional<SchedulerError> perform(Operation operation, std::string_view task_name) {
    switch (operation) {
        case Operation::run_task: return error_of(with_own_connection(run_task, task_name));
        case Operation::delete_task: return error_of(with_own_connection(delete_task, task_name));
        case Operation::task_exists: return error_of(with_own_connection(task_exists, task_name));
        case Operation::register_xml: return error_of(with_own_connection(register_xml, task_name, kTaskXml));
    }
    return std::nullopt;
}

}  // namespace morvane::scheduler::testing_support
