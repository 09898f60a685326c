// operations_test.cpp: the four operations against the emulated service: their answers, task_exists'
// reading of "not found", and the caller's apartment on success.
#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/own_connection.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using testing_support::describe;
using testing_support::kTaskXml;
using testing_support::StartApartment;

constexpr std::int32_t hr(std::uint32_t bits) { return static_cast<std::int32_t>(bits); }

class Operations : public testing_support::SchedulerTest {};

TEST_F(Operations, RegisterReplaceRunDeleteLifecycle) {
    auto missing = with_own_connection(task_exists, "Backup");
    ASSERT_TRUE(missing) << describe(missing.error());
    EXPECT_FALSE(missing.value());

    auto created = with_own_connection(register_xml, "Backup", kTaskXml);
    ASSERT_TRUE(created) << describe(created.error());
    auto replaced = with_own_connection(register_xml, "Backup", kTaskXml);
    ASSERT_TRUE(replaced) << describe(replaced.error());
    auto found = with_own_connection(task_exists, "Backup");
    ASSERT_TRUE(found) << describe(found.error());
    EXPECT_TRUE(found.value());

    auto ran = with_own_connection(run_task, "Backup");
    ASSERT_TRUE(ran) << describe(ran.error());

    auto deleted = with_own_connection(delete_task, "Backup");
    ASSERT_TRUE(deleted) << describe(deleted.error());
    auto gone = with_own_connection(task_exists, "Backup");
    ASSERT_TRUE(gone) << describe(gone.error());
    EXPECT_FALSE(gone.value());
}

TEST_F(Operations, NamesWithFoldersReachTheServiceUnchanged) {
    ASSERT_TRUE(with_own_connection(register_xml, "\\Nightly\\Backup", kTaskXml));
    EXPECT_TRUE(with_own_connection(task_exists, "Nightly\\Backup").value());
    EXPECT_TRUE(with_own_connection(task_exists, "\\nightly\\BACKUP").value()) << "names match case-insensitively in the service";
}

TEST_F(Operations, DeletingAMissingTaskIsTheServicesError) {
    auto result = with_own_connection(delete_task, "Nobody");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().operation, "DeleteTask");
    EXPECT_EQ(result.error().code, hr(0x80070002u));
    EXPECT_EQ(result.error().message, "The system cannot find the file specified. (0x80070002)");
}

TEST_F(Operations, RunningAMissingTaskStopsAtGetTask) {
    const long long runs_before = winemu_call_count("RunEx");
    auto result = with_own_connection(run_task, "Nobody");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().operation, "GetTask");
    EXPECT_EQ(result.error().code, hr(0x80070002u));
    EXPECT_EQ(winemu_call_count("RunEx"), runs_before);
}

TEST_F(Operations, MalformedXmlIsRefusedByRegisterTask) {
    auto result = with_own_connection(register_xml, "Broken", "<Task");
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().operation, "RegisterTask");
    EXPECT_EQ(result.error().code, hr(0x8004131Au));
    EXPECT_TRUE(result.error().message.ends_with(" (0x8004131A)")) << result.error().message;
    EXPECT_FALSE(with_own_connection(task_exists, "Broken").value());
}

TEST_F(Operations, EmptyNameIsHandedToTheServiceAsTheNullBstr) {
    const long long allocations_before = winemu_call_count("SysAllocStringLen");
    auto result = with_own_connection(task_exists, "");
    EXPECT_EQ(winemu_call_count("SysAllocStringLen") - allocations_before, 1) << "only the root path is allocated";
    ASSERT_FALSE(result) << "the service refuses an empty name";
    EXPECT_EQ(result.error().operation, "GetTask");
    EXPECT_EQ(result.error().code, hr(0x80070057u));
}

// ---- task_exists: which answers of GetTask mean "no such task" ---------------------------------

TEST_F(Operations, TaskExistsIsFalseForAMissingFolder) {
    auto result = with_own_connection(task_exists, "\\NoSuchFolder\\Task");
    ASSERT_TRUE(result) << describe(result.error());
    EXPECT_FALSE(result.value());
}

struct ExistsCase {
    std::int32_t get_task_answer;
    bool is_absence;
};

class TaskExistsAnswers : public testing_support::SchedulerTest, public ::testing::WithParamInterface<ExistsCase> {};

// Text lookups so far: the restricted details read and the system texts asked for.
long long text_lookups() { return winemu_call_count("GetErrorDetails") + winemu_call_count("FormatMessageW"); }

// The restricted detail that the service leaves with its answer is dropped unread for "absent"
// (nothing outstanding afterwards, no text looked up) and becomes the message otherwise.
TEST_P(TaskExistsAnswers, OnlyFileAndPathNotFoundMeanFalse) {
    const ExistsCase& answer = GetParam();
    testing_support::run_on_thread(StartApartment::none, [&] {
        winemu_fail_next("GetTask", answer.get_task_answer, "service detail", nullptr);
        const long long lookups_before = text_lookups();
        auto result = with_own_connection(task_exists, "Anything");
        if (answer.is_absence) {
            ASSERT_TRUE(result) << describe(result.error());
            EXPECT_FALSE(result.value());
            EXPECT_EQ(text_lookups(), lookups_before) << "an answer needs no message text";
        } else {
            ASSERT_FALSE(result);
            EXPECT_EQ(result.error().operation, "GetTask");
            EXPECT_EQ(result.error().code, answer.get_task_answer);
            EXPECT_TRUE(result.error().message.starts_with("service detail (0x")) << result.error().message;
        }
        EXPECT_EQ(winemu_outstanding().objects, 0) << "the captured detail was not released";
    });
}

INSTANTIATE_TEST_SUITE_P(GetTaskAnswers, TaskExistsAnswers,
                         ::testing::Values(ExistsCase{hr(0x80070002u), true}, ExistsCase{hr(0x80070003u), true},
                                           ExistsCase{hr(0x80070005u), false}, ExistsCase{hr(0x8007007Bu), false},
                                           ExistsCase{hr(0x80070001u), false}, ExistsCase{hr(0x80040002u), false}));

// ---- the caller's apartment on success ---------------------------------------------------------

class SuccessInApartment : public testing_support::SchedulerTest,
                           public ::testing::WithParamInterface<StartApartment> {};

// On a single-threaded thread the connection must not call CoUninitialize (that would end the
// caller's apartment); on a multithreaded one it adds one entry and removes it again.
TEST_P(SuccessInApartment, EveryOperationLeavesTheApartmentAsItWas) {
    testing_support::run_on_thread(GetParam(), [&] {
        const long long apartments_before = winemu_outstanding().apartments;
        EXPECT_TRUE(with_own_connection(register_xml, "Kept", kTaskXml));
        EXPECT_TRUE(with_own_connection(task_exists, "Kept").value());
        EXPECT_TRUE(with_own_connection(run_task, "Kept"));
        EXPECT_TRUE(with_own_connection(delete_task, "Kept"));
        EXPECT_EQ(winemu_outstanding().apartments, apartments_before);
        EXPECT_EQ(winemu_outstanding().objects, 0);
    });
}

INSTANTIATE_TEST_SUITE_P(StartingApartments, SuccessInApartment,
                         ::testing::Values(StartApartment::none, StartApartment::single_threaded,
                                           StartApartment::multithreaded),
                         [](const auto& info) { return std::string(testing_support::name_of(info.param)); });

// RPC_E_CHANGED_MODE is no failure: the error object it leaves is dropped unread, and the
// connection runs in the caller's single-threaded apartment without leaving it.
TEST_F(Operations, ChangedModeIsDroppedUnreadInASingleThreadedApartment) {
    testing_support::run_on_thread(StartApartment::single_threaded, [] {
        winemu_fail_next("CoInitializeEx", hr(0x80010106u), "changed mode", nullptr);
        const long long lookups_before = text_lookups();
        auto result = with_own_connection(task_exists, "Nobody");
        ASSERT_TRUE(result) << describe(result.error());
        EXPECT_FALSE(result.value());
        EXPECT_EQ(text_lookups(), lookups_before);
        EXPECT_EQ(winemu_outstanding().objects, 0);
    });
}

TEST_F(Operations, ThreadsRunOperationsAtTheSameTime) {
    ASSERT_TRUE(with_own_connection(register_xml, "Shared", kTaskXml));
    std::atomic<int> answers_true{0};
    std::vector<std::thread> threads;
    for (int i = 0; i < 4; ++i) {
        threads.emplace_back([&] {
            for (int round = 0; round < 10; ++round) {
                auto result = with_own_connection(task_exists, "Shared");
                if (result && result.value()) answers_true.fetch_add(1);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(answers_true.load(), 40);
}

}  // namespace
}  // namespace morvane::scheduler
