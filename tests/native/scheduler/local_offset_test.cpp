// local_offset_test.cpp: the instants that the Python module gives the service's local times, in
// a zone with daylight saving time, as Python's datetime.astimezone() gives them.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "scheduler/local_time.hpp"

namespace morvane::scheduler {
namespace {

struct OffsetCase {
    LocalTime local;
    int offset_hours;
    LocalTime wall;  // as local time shows the instant
};

class BerlinTime : public ::testing::TestWithParam<OffsetCase> {
protected:
    void SetUp() override {
        if (const char* zone = std::getenv("TZ")) saved_ = zone;
        setenv("TZ", "Europe/Berlin", 1);
        tzset();
    }
    void TearDown() override {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> saved_;
};

TEST_P(BerlinTime, IsTheInstantPythonNames) {
    LocalOffsets offsets;
    const LocalInstant instant = offsets.instant_of(GetParam().local);
    EXPECT_EQ(instant.offset_seconds, GetParam().offset_hours * 3600);
    EXPECT_EQ(instant.wall, GetParam().wall);
    EXPECT_EQ(instant.utc_seconds + instant.offset_seconds, seconds_from_local_time(GetParam().wall));
}

INSTANTIATE_TEST_SUITE_P(
    ClockChanges, BerlinTime,
    ::testing::Values(
        OffsetCase{{2026, 1, 15, 12, 0, 0, 0}, 1, {2026, 1, 15, 12, 0, 0, 0}},
        OffsetCase{{2026, 7, 15, 12, 0, 0, 0}, 2, {2026, 7, 15, 12, 0, 0, 0}},
        // the hour that happens twice in October is its first occurrence
        OffsetCase{{2026, 10, 25, 2, 30, 0, 0}, 2, {2026, 10, 25, 2, 30, 0, 0}},
        OffsetCase{{2026, 10, 25, 3, 0, 0, 0}, 1, {2026, 10, 25, 3, 0, 0, 0}},
        // the hour skipped in March is read with the offset after the change
        OffsetCase{{2026, 3, 29, 2, 30, 0, 0}, 1, {2026, 3, 29, 1, 30, 0, 0}},
        OffsetCase{{2026, 3, 29, 3, 0, 0, 0}, 2, {2026, 3, 29, 3, 0, 0, 0}}));

TEST_F(BerlinTime, OneSearchOverAYearAgreesWithAFreshOneEachTime) {
    // The spans kept between times must not change any answer.
    LocalOffsets kept;
    const long long first = seconds_from_local_time({2026, 1, 1, 0, 15, 0, 0});
    for (long long local = first; local < first + 366 * 86'400; local += 1800) {
        const LocalTime time = local_time_from_seconds(local);
        LocalOffsets fresh;
        const LocalInstant expected = fresh.instant_of(time);
        const LocalInstant found = kept.instant_of(time);
        ASSERT_EQ(found.utc_seconds, expected.utc_seconds) << local;
        ASSERT_EQ(found.offset_seconds, utc_offset_at(found.utc_seconds)) << local;
    }
}

}  // namespace
}  // namespace morvane::scheduler
