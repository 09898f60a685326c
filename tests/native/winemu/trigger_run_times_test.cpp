// trigger_run_times_test.cpp: when the triggers of a definition start its task, in a zone that
// keeps daylight-saving time and in UTC.
#include <cstdlib>
#include <ctime>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <winemu/control.h>

namespace {

// Sets the process's zone for a test and puts back the one before.
class ZoneSetting {
public:
    explicit ZoneSetting(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~ZoneSetting() {
        if (old_) setenv("TZ", old_->c_str(), 1);
        else unsetenv("TZ");
        tzset();
    }

private:
    std::optional<std::string> old_;
};

std::string definition(const std::string& triggers) {
    return R"(<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task"><Triggers>)" +
           triggers + "</Triggers><Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>";
}

// "2026-03-29T01:00" read as UTC.
long long utc(const char* text) {
    std::tm fields{};
    strptime(text, "%Y-%m-%dT%H:%M", &fields);
    return static_cast<long long>(timegm(&fields));
}

// An instant as local time with its offset in hours: "2026-03-29 03:30+02".
std::string local(long long instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant);
    std::tm fields{};
    localtime_r(&seconds, &fields);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M", &fields);
    const long offset = fields.tm_gmtoff / 3600;
    return std::string(text) + (offset < 0 ? "-" : "+") + (std::abs(offset) < 10 ? "0" : "") +
           std::to_string(std::abs(offset));
}

struct Found {
    std::vector<std::string> times;
    bool has_time_triggers;
};

Found run_times(const std::string& triggers, const char* start, const char* end, size_t max_count = 0) {
    const std::string xml = definition(triggers);
    std::vector<long long> times(64);
    int has = -1;
    const size_t count = winemu_trigger_run_times(xml.c_str(), utc(start), utc(end), max_count, times.data(),
                                                  times.size(), &has);
    EXPECT_LE(count, times.size());
    Found found{{}, has == 1};
    for (size_t i = 0; i < count && i < times.size(); ++i) found.times.push_back(local(times[i]));
    return found;
}

std::string calendar(const std::string& start, const std::string& schedule, const std::string& more = "") {
    return "<CalendarTrigger><StartBoundary>" + start + "</StartBoundary>" + more + schedule + "</CalendarTrigger>";
}

std::string daily(const std::string& start, const std::string& more = "", int interval = 1) {
    const std::string every = "<DaysInterval>" + std::to_string(interval) + "</DaysInterval>";
    return calendar(start, "<ScheduleByDay>" + every + "</ScheduleByDay>", more);
}

std::string repetition(const std::string& interval, const std::string& duration = "") {
    return "<Repetition><Interval>" + interval + "</Interval>" +
           (duration.empty() ? "" : "<Duration>" + duration + "</Duration>") + "</Repetition>";
}

struct Case {
    const char* what;
    const char* zone;
    std::string triggers;
    const char* start;  // the window, UTC
    const char* end;
    size_t max_count;
    std::vector<std::string> expected;  // local times
};

TEST(TriggerRunTimes, TimesOfTheCalendarInLocalTime) {
    const std::string mondays = "<DaysOfWeek><Monday/></DaysOfWeek>";
    const Case cases[] = {
        {"a time trigger starts once", "Europe/Berlin",
         "<TimeTrigger><StartBoundary>2026-01-10T12:00:00</StartBoundary></TimeTrigger>", "2026-01-01T00:00",
         "2026-02-01T00:00", 0, {"2026-01-10 12:00+01"}},
        {"the window holds both its ends", "UTC",
         "<TimeTrigger><StartBoundary>2026-01-10T12:00:00</StartBoundary></TimeTrigger>", "2026-01-10T12:00",
         "2026-01-10T12:00", 0, {"2026-01-10 12:00+00"}},
        {"02:30 skipped by the change to summer time runs as late as the clock jumped", "Europe/Berlin",
         daily("2026-03-28T02:30:00"), "2026-03-01T00:00", "2026-03-31T00:00", 0,
         {"2026-03-28 02:30+01", "2026-03-29 03:30+02", "2026-03-30 02:30+02"}},
        {"02:30 repeated by the change to winter time runs once, the first time", "Europe/Berlin",
         daily("2026-10-24T02:30:00"), "2026-10-01T00:00", "2026-10-26T12:00", 0,
         {"2026-10-24 02:30+02", "2026-10-25 02:30+02", "2026-10-26 02:30+01"}},
        {"repetition counts elapsed time across the change, Duration's end included", "Europe/Berlin",
         daily("2026-03-29T00:00:00", repetition("PT1H", "PT3H")), "2026-03-28T00:00", "2026-03-29T12:00", 0,
         {"2026-03-29 00:00+01", "2026-03-29 01:00+01", "2026-03-29 03:00+02", "2026-03-29 04:00+02"}},
        {"a start in UTC keeps its UTC time across the local change", "Europe/Berlin",
         daily("2026-03-28T08:00:00Z"), "2026-03-28T00:00", "2026-03-30T00:00", 0,
         {"2026-03-28 09:00+01", "2026-03-29 10:00+02"}},
        {"an offset is that instant", "UTC",
         "<TimeTrigger><StartBoundary>2026-05-01T08:00:00.250+05:30</StartBoundary></TimeTrigger>",
         "2026-05-01T00:00", "2026-05-02T00:00", 0, {"2026-05-01 02:30+00"}},
        {"every third day, the window entered mid-way", "UTC", daily("2026-01-01T06:00:00", "", 3),
         "2026-01-05T00:00", "2026-01-12T00:00", 0, {"2026-01-07 06:00+00", "2026-01-10 06:00+00"}},
        {"every other week counted in weeks from Sunday, from the start's day on", "UTC",
         calendar("2026-01-07T09:00:00",
                  "<ScheduleByWeek><WeeksInterval>2</WeeksInterval><DaysOfWeek><Monday/><Friday/></DaysOfWeek>"
                  "</ScheduleByWeek>"),
         "2026-01-01T00:00", "2026-02-07T00:00", 0,
         {"2026-01-09 09:00+00", "2026-01-19 09:00+00", "2026-01-23 09:00+00", "2026-02-02 09:00+00",
          "2026-02-06 09:00+00"}},
        {"the 31st where a month has it, the last day always, each day once", "UTC",
         calendar("2026-01-01T07:00:00",
                  "<ScheduleByMonth><DaysOfMonth><Day>31</Day><Day>Last</Day></DaysOfMonth><Months><January/>"
                  "<February/><March/><April/></Months></ScheduleByMonth>"),
         "2026-01-01T00:00", "2027-01-01T00:00", 0,
         {"2026-01-31 07:00+00", "2026-02-28 07:00+00", "2026-03-31 07:00+00", "2026-04-30 07:00+00"}},
        {"the first and the last Monday of each month", "UTC",
         calendar("2026-01-01T07:00:00", "<ScheduleByMonthDayOfWeek><Weeks><Week>1</Week><Week>Last</Week></Weeks>" +
                                             mondays + "</ScheduleByMonthDayOfWeek>"),
         "2026-01-01T00:00", "2026-03-01T00:00", 0,
         {"2026-01-05 07:00+00", "2026-01-26 07:00+00", "2026-02-02 07:00+00", "2026-02-23 07:00+00"}},
        {"the last Saturday of a month of 28 days is its 28th, not its 21st", "UTC",
         calendar("2026-02-01T07:00:00", "<ScheduleByMonthDayOfWeek><Weeks><Week>Last</Week></Weeks><DaysOfWeek>"
                                         "<Saturday/></DaysOfWeek></ScheduleByMonthDayOfWeek>"),
         "2026-02-01T00:00", "2026-03-01T00:00", 0, {"2026-02-28 07:00+00"}},
        {"a start at the EndBoundary is made, none after", "UTC",
         daily("2026-01-01T06:00:00", "<EndBoundary>2026-01-03T06:00:00</EndBoundary>"), "2026-01-01T00:00",
         "2026-02-01T00:00", 0, {"2026-01-01 06:00+00", "2026-01-02 06:00+00", "2026-01-03 06:00+00"}},
        {"an indefinite repetition lasts until the trigger starts again", "UTC",
         daily("2026-01-01T08:00:00", repetition("PT7H")), "2026-01-01T00:00", "2026-01-02T13:00", 0,
         {"2026-01-01 08:00+00", "2026-01-01 15:00+00", "2026-01-01 22:00+00", "2026-01-02 05:00+00",
          "2026-01-02 08:00+00"}},
        {"a repetition begun before the window reaches into it", "UTC",
         "<TimeTrigger><StartBoundary>2020-01-01T00:00:00</StartBoundary>" + repetition("PT20M") + "</TimeTrigger>",
         "2026-01-01T00:10", "2026-01-01T01:00", 0,
         {"2026-01-01 00:20+00", "2026-01-01 00:40+00", "2026-01-01 01:00+00"}},
        {"triggers merge, a time once, the first max_count", "UTC",
         daily("2026-01-01T06:00:00") +
             "<TimeTrigger><StartBoundary>2026-01-02T06:00:00</StartBoundary></TimeTrigger>"
             "<TimeTrigger><StartBoundary>2026-01-01T18:00:00</StartBoundary></TimeTrigger>",
         "2026-01-01T00:00", "2026-02-01T00:00", 4,
         {"2026-01-01 06:00+00", "2026-01-01 18:00+00", "2026-01-02 06:00+00", "2026-01-03 06:00+00"}},
        {"max_count ends an endless window early", "UTC", daily("2026-01-01T00:00:00", repetition("PT1M")),
         "2026-01-01T00:00", "9000-01-01T00:00", 2, {"2026-01-01 00:00+00", "2026-01-01 00:01+00"}},
        {"a trigger disabled on its own still counts, as GetRunTimes' remarks say", "UTC",
         "<TimeTrigger><Enabled>false</Enabled><StartBoundary>2026-01-10T12:00:00</StartBoundary></TimeTrigger>",
         "2026-01-01T00:00", "2026-02-01T00:00", 0, {"2026-01-10 12:00+00"}},
        {"a start half a second past 08:00:00 is not made at 08:00:00", "UTC",
         "<TimeTrigger><StartBoundary>2026-01-10T08:00:00.5</StartBoundary></TimeTrigger>", "2026-01-10T07:00",
         "2026-01-10T08:00", 0, {}},
        {"nor on the days after", "UTC", daily("2026-01-10T08:00:00.500"), "2026-01-11T07:00", "2026-01-11T08:00",
         0, {}},
        {"a Duration longer than the calendar repeats to its end, without overflow", "UTC",
         "<TimeTrigger><StartBoundary>2026-01-01T00:00:00</StartBoundary>" +
             repetition("PT1H", "P300000000000Y") + "</TimeTrigger>",
         "2030-01-01T00:00", "2030-01-01T02:00", 0,
         {"2030-01-01 00:00+00", "2030-01-01 01:00+00", "2030-01-01 02:00+00"}},
        {"a pattern begun in 1601 still repeats, found without going back there", "UTC",
         daily("1601-01-01T08:00:00", repetition("PT1M", "P1000Y")), "2026-01-01T00:00", "2026-01-01T00:02", 0,
         {"2026-01-01 00:00+00", "2026-01-01 00:01+00", "2026-01-01 00:02+00"}},
        {"patterns of a Duration longer than the schedule's step overlap, their times merged", "UTC",
         daily("2026-01-01T08:00:00", repetition("PT7H", "P2D")), "2026-01-02T00:00", "2026-01-02T23:59", 0,
         {"2026-01-02 05:00+00", "2026-01-02 08:00+00", "2026-01-02 12:00+00", "2026-01-02 15:00+00",
          "2026-01-02 19:00+00", "2026-01-02 22:00+00"}},
        {"days of the week without Weeks: those days in every week", "UTC",
         calendar("2026-01-01T07:00:00", "<ScheduleByMonthDayOfWeek>" + mondays + "</ScheduleByMonthDayOfWeek>"),
         "2026-01-01T00:00", "2026-02-01T00:00", 0,
         {"2026-01-05 07:00+00", "2026-01-12 07:00+00", "2026-01-19 07:00+00", "2026-01-26 07:00+00"}},
    };
    for (const Case& c : cases) {
        const ZoneSetting zone(c.zone);
        EXPECT_EQ(run_times(c.triggers, c.start, c.end, c.max_count).times, c.expected) << c.what;
    }
}

TEST(TriggerRunTimes, OnlyTimeAndCalendarTriggersAreTimeTriggersEnabledOrNot) {
    const ZoneSetting zone("UTC");
    const struct {
        std::string triggers;
        bool has_time_triggers;
    } cases[] = {
        {"", false},
        {"<BootTrigger/><LogonTrigger/><IdleTrigger/><RegistrationTrigger/>", false},
        {"<TimeTrigger><Enabled>false</Enabled><StartBoundary>2030-01-10T12:00:00</StartBoundary></TimeTrigger>",
         true},
        // Enabled, though it names no day on which it could start.
        {calendar("2026-01-01T00:00:00", "<ScheduleByWeek><WeeksInterval>1</WeeksInterval></ScheduleByWeek>"), true},
        {"<BootTrigger/>" + daily("2030-01-01T00:00:00"), true},
    };
    for (const auto& c : cases) {
        const Found found = run_times(c.triggers, "2026-01-01T00:00", "2027-01-01T00:00");
        EXPECT_EQ(found.has_time_triggers, c.has_time_triggers) << c.triggers;
        EXPECT_TRUE(found.times.empty()) << c.triggers;
    }
    EXPECT_EQ(winemu_trigger_run_times(nullptr, 0, 1, 0, nullptr, 0, nullptr), static_cast<size_t>(-1));
}

}  // namespace
