// trigger_rules.hpp: the triggers of a definition that start its task at times of the calendar,
// as the trigger engine reads them.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <vector>

namespace winemu {

// An xs:dateTime of the definition: the date and time as written to the second, whether a
// fraction of a second followed, and the offset from UTC written with it; without one it is a
// local time of the process's zone.
struct BoundaryTime {
    std::chrono::local_seconds wall{};
    std::optional<std::chrono::seconds> offset;
    bool past_second = false;  // a nonzero fraction: the time lies after `wall`
};

enum class Schedule : std::uint8_t { once, daily, weekly, monthly, monthly_day_of_week };

struct TriggerRule {
    Schedule schedule = Schedule::once;  // once: a TimeTrigger; the others: a CalendarTrigger's ScheduleBy...
    BoundaryTime start;                  // StartBoundary: the first start, and the time of day of each
    std::optional<BoundaryTime> end;     // EndBoundary: no start after it
    std::chrono::seconds interval{0};    // Repetition/Interval; 0: the task is not repeated
    std::optional<std::chrono::seconds> duration;  // Repetition/Duration; none: indefinitely
    unsigned days_interval = 1;          // ScheduleByDay/DaysInterval
    unsigned weeks_interval = 1;         // ScheduleByWeek/WeeksInterval
    std::uint8_t days_of_week = 0;       // bit 0 Sunday ... bit 6 Saturday
    std::uint16_t months = 0;            // bit 0 January ... bit 11 December
    std::uint32_t days_of_month = 0;     // bit 0 the 1st ... bit 30 the 31st, bit 31 "Last"
    std::uint8_t weeks = 0;              // bit 0 the first week ... bit 3 the fourth, bit 4 "Last"
};

struct TriggerRules {
    std::vector<TriggerRule> rules;
    bool has_time_triggers = false;  // a TimeTrigger or CalendarTrigger is there, enabled or not
    // An enabled trigger of any kind, those without set times too (boot, logon, idle, event,
    // registration, session state): GetRunTimes tells "no trigger" from "triggers without set
    // times" by it.
    bool has_enabled_trigger = false;
};

// The longest Repetition/Duration read: longer than the whole of SYSTEMTIME's calendar (years 1601
// to 30827), so that any longer one starts the same times, and far from the ends of the clock.
constexpr std::chrono::seconds longest_span{std::int64_t{1} << 40};

constexpr std::uint32_t last_day_of_month = std::uint32_t{1} << 31;
constexpr std::uint8_t last_week = 1 << 4;

}  // namespace winemu
