// run_time_reading_test.cpp: the service's local run times, listed in the order they happen, read
// back as instants across the changes of the clocks of several zones.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "scheduler/run_time_reading.hpp"

namespace morvane::scheduler {
namespace {

// Sets TZ for its lifetime.
class ZoneGuard {
public:
    explicit ZoneGuard(const char* zone) {
        if (const char* saved = std::getenv("TZ")) saved_ = saved;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneGuard() {
        if (saved_) setenv("TZ", saved_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }
    ZoneGuard(const ZoneGuard&) = delete;
    ZoneGuard& operator=(const ZoneGuard&) = delete;

private:
    std::optional<std::string> saved_;
};

constexpr int kNothing = 9999;

struct Listed {
    LocalTime wall;
    int offset_minutes;  // of the instant it is read as; kNothing: listed again, read as nothing
};

struct ReadingCase {
    const char* what;
    const char* zone;
    std::vector<Listed> listed;
};

class RunTimeReadingAcrossClockChanges : public ::testing::TestWithParam<ReadingCase> {};

TEST_P(RunTimeReadingAcrossClockChanges, ReadsEachTimeAsTheEarliestInstantAfterTheOneBefore) {
    const ReadingCase& c = GetParam();
    const ZoneGuard zone(c.zone);
    LocalOffsets offsets;
    const long long day_before = (seconds_from_local_time(c.listed.front().wall) - 86'400) * microseconds_per_second;
    RunTimeReading reading(offsets, day_before);
    for (const Listed& time : c.listed) {
        const std::optional<long long> instant = reading.next(time.wall);
        if (time.offset_minutes == kNothing) {
            EXPECT_FALSE(instant.has_value()) << c.what;
            continue;
        }
        const long long expected = (seconds_from_local_time(time.wall) - time.offset_minutes * 60LL) *
                                       microseconds_per_second +
                                   time.wall.millisecond * 1000LL;
        EXPECT_EQ(instant, expected) << c.what << ": " << time.wall.hour << ":" << time.wall.minute;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Zones, RunTimeReadingAcrossClockChanges,
    ::testing::Values(
        ReadingCase{"half-hourly through Berlin's repeated hour", "Europe/Berlin",
                    {{{2026, 10, 25, 2, 0, 0, 0}, 120},
                     {{2026, 10, 25, 2, 30, 0, 0}, 120},
                     {{2026, 10, 25, 2, 0, 0, 0}, 60},
                     {{2026, 10, 25, 2, 30, 0, 0}, 60},
                     {{2026, 10, 25, 3, 0, 0, 0}, 60}}},
        ReadingCase{"daily inside the repeated hour: the first pass", "Europe/Berlin",
                    {{{2026, 10, 24, 2, 30, 0, 0}, 120},
                     {{2026, 10, 25, 2, 30, 0, 0}, 120},
                     {{2026, 10, 26, 2, 30, 0, 0}, 60}}},
        ReadingCase{"a time listed again, milliseconds kept", "Europe/Berlin",
                    {{{2026, 1, 15, 1, 0, 0, 500}, 60}, {{2026, 1, 15, 1, 0, 0, 500}, kNothing}}},
        ReadingCase{"a time that Berlin's clocks skip: as far past the change (03:30+02:00)", "Europe/Berlin",
                    {{{2026, 3, 29, 1, 30, 0, 0}, 60},
                     {{2026, 3, 29, 2, 30, 0, 0}, 60},
                     {{2026, 3, 29, 4, 0, 0, 0}, 120}}},
        ReadingCase{"New York's repeated hour", "America/New_York",
                    {{{2026, 11, 1, 1, 30, 0, 0}, -240},
                     {{2026, 11, 1, 1, 0, 0, 0}, -300},
                     {{2026, 11, 1, 1, 30, 0, 0}, -300},
                     {{2026, 11, 1, 1, 30, 0, 0}, kNothing}}},
        ReadingCase{"Lord Howe's half hour back: one wall time twice in a row", "Australia/Lord_Howe",
                    {{{2026, 4, 5, 1, 0, 0, 0}, 660},
                     {{2026, 4, 5, 1, 30, 0, 0}, 660},
                     {{2026, 4, 5, 1, 30, 0, 0}, 630},
                     {{2026, 4, 5, 2, 0, 0, 0}, 630}}}));

}  // namespace
}  // namespace morvane::scheduler
