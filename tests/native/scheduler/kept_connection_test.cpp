// kept_connection_test.cpp: every operation runs on a connection the caller keeps open, one after
// another, as well as on one of its own; what it holds ends with it, the connection stays usable.
#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/scheduler_connection.hpp"
#include "scheduler/task_control.hpp"
#include "scheduler/task_listing.hpp"
#include "scheduler/task_operations.hpp"
#include "scheduler/task_properties.hpp"
#include "scheduler/task_registration.hpp"
#include "scheduler/task_run_times.hpp"
#include "scheduler_fixture.hpp"

namespace morvane::scheduler {
namespace {

using testing_support::describe;
using testing_support::kTaskXml;

class KeptConnection : public testing_support::SchedulerTest {};

TEST_F(KeptConnection, EveryOperationRunsOnOneConnection) {
    const long long connects = winemu_call_count("Connect");
    {
        Result<SchedulerConnection, SchedulerError> opened = SchedulerConnection::open();
        ASSERT_TRUE(opened) << describe(opened.error());
        SchedulerConnection& connection = opened.value();

        ASSERT_TRUE(register_xml(connection, "Kept", kTaskXml));
        ASSERT_TRUE(register_xml(connection, "Sub\\Kept", kTaskXml));
        EXPECT_TRUE(register_task(connection, "Kept", kTaskXml, RegisterMode::update));
        EXPECT_TRUE(task_exists(connection, "Kept").value());
        EXPECT_TRUE(set_task_enabled(connection, "Kept", false));
        const TaskDetails details = task_info(connection, "Kept").value();
        const TaskRecord& record = details.record;
        EXPECT_EQ(record.path, "\\Kept");
        EXPECT_EQ(record.state, TaskState::disabled);
        EXPECT_FALSE(record.enabled);
        EXPECT_FALSE(record.last_run_time.has_value());
        EXPECT_EQ(details.xml, task_xml(connection, "Kept").value());
        EXPECT_NE(details.xml.find("<Command>/bin/true</Command>"), std::string::npos);
        EXPECT_TRUE(set_task_enabled(connection, "Kept", true));
        EXPECT_TRUE(run_task(connection, "Kept"));
        EXPECT_TRUE(stop_task(connection, "Kept"));
        const RunTimesQuery day{.first = 1'767'225'600'000'000, .last = 1'767'312'000'000'000, .max_count = {}};
        EXPECT_TRUE(run_times(connection, "Kept", day).value().empty());
        EXPECT_EQ(list_tasks(connection, "\\", {.recursive = true, .hidden = false}).value().size(), 2u);
        EXPECT_EQ(list_tasks(connection, "\\Sub", {}).value().front().path, "\\Sub\\Kept");
        // A failure ends only its own operation.
        Result<TaskDetails, SchedulerError> missing = task_info(connection, "Missing");
        ASSERT_FALSE(missing);
        EXPECT_EQ(missing.error().operation, "GetTask");
        EXPECT_TRUE(delete_task(connection, "Kept"));
        EXPECT_FALSE(task_exists(connection, "Kept").value());
    }
    EXPECT_EQ(winemu_call_count("Connect") - connects, 1);
    winemu_wait_runs(nullptr, 10.0);
}

// DATE: days since 1899-12-30, the fraction the time of day counted forward from midnight also
// before day 0; rounded to the millisecond; 0 is "never".
struct DateCase {
    double date;
    std::optional<LocalTime> expected;
};

class DateConversion : public ::testing::TestWithParam<DateCase> {};

TEST_P(DateConversion, GivesTheLocalCalendarFields) {
    EXPECT_EQ(local_time_from_date(GetParam().date), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Dates, DateConversion,
    ::testing::Values(DateCase{0.0, std::nullopt}, DateCase{1.0, LocalTime{1899, 12, 31, 0, 0, 0, 0}},
                      DateCase{-1.25, LocalTime{1899, 12, 29, 6, 0, 0, 0}},
                      DateCase{2.5, LocalTime{1900, 1, 1, 12, 0, 0, 0}},
                      DateCase{46'027.75, LocalTime{2026, 1, 5, 18, 0, 0, 0}},
                      DateCase{45'351.0, LocalTime{2024, 2, 29, 0, 0, 0, 0}},
                      DateCase{46'027.0 + 1.0 / 86'400'000 * 1'500, LocalTime{2026, 1, 5, 0, 0, 1, 500}},
                      DateCase{46'028.0 - 1e-10, LocalTime{2026, 1, 6, 0, 0, 0, 0}},  // rounds up to midnight
                      DateCase{2'958'465.999, LocalTime{9999, 12, 31, 23, 58, 33, 600}},
                      DateCase{2'958'466.0, std::nullopt}, DateCase{-657'435.0, std::nullopt}));

TEST(LocalTimeArithmetic, DaysOfTheWeekAndSecondsRoundTrip) {
    EXPECT_EQ(day_of_week(1970, 1, 1), 4);  // a Thursday
    EXPECT_EQ(day_of_week(2026, 12, 6), 0);
    EXPECT_EQ(day_of_week(1899, 12, 30), 6);
    EXPECT_EQ(day_of_week(1, 1, 1), 1);
    for (const LocalTime time : {LocalTime{1969, 12, 31, 23, 59, 59, 0}, LocalTime{2000, 2, 29, 12, 30, 5, 0},
                                 LocalTime{1601, 1, 1, 0, 0, 0, 0}, LocalTime{9999, 12, 31, 23, 59, 59, 0}})
        EXPECT_EQ(local_time_from_seconds(seconds_from_local_time(time)), time);
}

}  // namespace
}  // namespace morvane::scheduler
