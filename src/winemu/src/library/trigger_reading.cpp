// trigger_reading.cpp: the triggers of a definition, read from its parsed document for the trigger
// engine.
//
// Read from the document the service's checks parsed (task_xml.cpp): the checks know the schema,
// this reads only what deciding start times needs.
#include "library/trigger_reading.hpp"

#include <libxml/parser.h>

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <memory>
#include <string>

#include "library/definition_nodes.hpp"
#include "library/schema_values.hpp"
#include "library/task_xml.hpp"

namespace winemu {
namespace {

// ---- StartBoundary and EndBoundary -----------------------------------------------------------

bool read_digits(std::string_view text, std::size_t& at, std::size_t count, int& value) {
    if (text.size() < at + count) return false;
    value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = text[at + i];
        if (c < '0' || c > '9') return false;
        value = value * 10 + (c - '0');
    }
    at += count;
    return true;
}

bool read_char(std::string_view text, std::size_t& at, char expected) {
    if (at >= text.size() || text[at] != expected) return false;
    ++at;
    return true;
}

// An xs:dateTime of the definition: "YYYY-MM-DDTHH:MM:SS", optional fractions of a second (whether
// nonzero), then optionally "Z" or "+hh:mm" / "-hh:mm"; nullopt for anything else.
std::optional<BoundaryTime> read_boundary_time(std::string_view text) {
    using namespace std::chrono;
    std::size_t at = 0;
    int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
    if (!read_digits(text, at, 4, year) || !read_char(text, at, '-') || !read_digits(text, at, 2, month) ||
        !read_char(text, at, '-') || !read_digits(text, at, 2, day) || !read_char(text, at, 'T') ||
        !read_digits(text, at, 2, hour) || !read_char(text, at, ':') || !read_digits(text, at, 2, minute) ||
        !read_char(text, at, ':') || !read_digits(text, at, 2, second))
        return std::nullopt;
    const year_month_day date{std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                              std::chrono::day(static_cast<unsigned>(day))};
    if (!date.ok() || hour > 23 || minute > 59 || second > 59) return std::nullopt;
    BoundaryTime time{local_days(date) + hours(hour) + minutes(minute) + seconds(second), std::nullopt};
    if (read_char(text, at, '.')) {
        for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) time.past_second |= text[at] != '0';
    }
    if (read_char(text, at, 'Z')) {
        time.offset = seconds(0);
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        const int sign = text[at++] == '-' ? -1 : 1;
        int offset_hours = 0, offset_minutes = 0;
        if (!read_digits(text, at, 2, offset_hours) || !read_char(text, at, ':') ||
            !read_digits(text, at, 2, offset_minutes))
            return std::nullopt;
        time.offset = seconds(sign * (offset_hours * 3600 + offset_minutes * 60));
    }
    if (at != text.size()) return std::nullopt;
    return time;
}

// ---- the triggers --------------------------------------------------------------------------

// The elements of the task namespace under `parent`, each handed to `visit`.
template <typename Visit>
void for_children(const xmlNode* parent, Visit visit) {
    for (const xmlNode* child = parent->children; child; child = child->next) {
        if (in_task_namespace(child)) visit(child, name_of(child));
    }
}

unsigned number_of(const xmlNode* node, unsigned fallback) {
    std::string text = text_of(node);
    if (!text.empty() && text.front() == '+') text.erase(0, 1);
    unsigned value = 0;
    const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
    return read.ec == std::errc() && read.ptr == text.data() + text.size() && value > 0 ? value : fallback;
}

// A span of the definition, no longer than longest_span: a longer one starts the same times.
std::optional<std::chrono::seconds> span_of(const xmlNode* node) {
    const auto seconds = duration_value(text_of(node));
    if (!seconds) return std::nullopt;
    return std::chrono::seconds(static_cast<std::int64_t>(
        std::min<std::uint64_t>(*seconds, static_cast<std::uint64_t>(longest_span.count()))));
}

// The bit of a named member of a set (DaysOfWeek, Months) in the order given; 0 if not one.
template <std::size_t N>
unsigned bit_of(std::string_view name, const std::string_view (&names)[N]) {
    for (std::size_t i = 0; i < N; ++i) {
        if (names[i] == name) return 1u << i;
    }
    return 0;
}

constexpr std::string_view day_names[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};
constexpr std::string_view month_names[] = {"January", "February", "March",     "April",   "May",      "June",
                                            "July",    "August",   "September", "October", "November", "December"};

template <std::size_t N>
unsigned members_of(const xmlNode* set, const std::string_view (&names)[N]) {
    unsigned bits = 0;
    for_children(set, [&](const xmlNode*, std::string_view name) { bits |= bit_of(name, names); });
    return bits;
}

// DaysOfMonth/Day and Weeks/Week: numbers from 1 up to `highest`, or "Last" (bit `highest`).
unsigned numbered_members(const xmlNode* set, unsigned highest) {
    unsigned bits = 0;
    for_children(set, [&](const xmlNode* member, std::string_view) {
        if (text_of(member) == "Last") {
            bits |= 1u << highest;
        } else if (const unsigned number = number_of(member, 0); number >= 1 && number <= highest) {
            bits |= 1u << (number - 1);
        }
    });
    return bits;
}

// Months absent from a monthly schedule: every month; Weeks absent from a monthly day-of-week
// schedule: every week, the last included. The schema lets both out and the documentation says
// nothing of them; a schedule that named no month or no week could never start, and one that
// names the days of the week without the weeks reads as those days in every week.
constexpr std::uint16_t every_month = 0x0FFF;
constexpr std::uint8_t every_week = 0x1F;

void read_schedule(const xmlNode* schedule, std::string_view kind, TriggerRule& rule) {
    if (kind == "ScheduleByDay") rule.schedule = Schedule::daily;
    else if (kind == "ScheduleByWeek") rule.schedule = Schedule::weekly;
    else if (kind == "ScheduleByMonth") rule.schedule = Schedule::monthly;
    else if (kind == "ScheduleByMonthDayOfWeek") rule.schedule = Schedule::monthly_day_of_week;
    else return;
    rule.months = every_month;
    if (rule.schedule == Schedule::monthly_day_of_week) rule.weeks = every_week;
    for_children(schedule, [&](const xmlNode* part, std::string_view name) {
        if (name == "DaysInterval") rule.days_interval = number_of(part, 1);
        else if (name == "WeeksInterval") rule.weeks_interval = number_of(part, 1);
        else if (name == "DaysOfWeek") rule.days_of_week = static_cast<std::uint8_t>(members_of(part, day_names));
        else if (name == "Months") rule.months = static_cast<std::uint16_t>(members_of(part, month_names));
        else if (name == "DaysOfMonth") rule.days_of_month = numbered_members(part, 31);
        else if (name == "Weeks") rule.weeks = static_cast<std::uint8_t>(numbered_members(part, 4));
    });
}

// A TimeTrigger or CalendarTrigger, enabled or not: GetRunTimes' and NextRunTime's remarks say
// that triggers disabled one by one still count for the times. nullopt when it has no start.
// A start written with a fraction of a second is taken at the next whole second: the times are
// whole seconds, and none may come before the boundary.
std::optional<TriggerRule> read_trigger(const xmlNode* trigger, bool is_calendar) {
    TriggerRule rule;
    bool has_start = false;
    bool has_schedule = !is_calendar;
    for_children(trigger, [&](const xmlNode* part, std::string_view name) {
        if (name == "StartBoundary") {
            if (auto start = read_boundary_time(text_of(part))) {
                rule.start = *start;
                if (rule.start.past_second) rule.start.wall += std::chrono::seconds(1);
                has_start = true;
            }
        } else if (name == "EndBoundary") {
            rule.end = read_boundary_time(text_of(part));
        } else if (name == "Repetition") {
            for_children(part, [&](const xmlNode* setting, std::string_view setting_name) {
                if (setting_name == "Interval") rule.interval = span_of(setting).value_or(std::chrono::seconds(0));
                else if (setting_name == "Duration") rule.duration = span_of(setting);
            });
        } else if (is_calendar && name.starts_with("ScheduleBy")) {
            read_schedule(part, name, rule);
            has_schedule = rule.schedule != Schedule::once;
        }
    });
    if (!has_start || !has_schedule) return std::nullopt;
    return rule;
}

// A trigger is enabled unless its Enabled says false (the schema's default is true).
bool is_enabled(const xmlNode* trigger) {
    for (const xmlNode* part = trigger->children; part; part = part->next) {
        if (!in_task_namespace(part) || name_of(part) != "Enabled") continue;
        const std::string value = text_of(part);
        return value != "false" && value != "0";
    }
    return true;
}

}  // namespace

TriggerRules read_trigger_rules(const xmlNode* task) {
    TriggerRules read;
    if (!task) return read;
    for (const xmlNode* part = task->children; part; part = part->next) {
        if (!in_task_namespace(part) || name_of(part) != "Triggers") continue;
        for (const xmlNode* trigger = part->children; trigger; trigger = trigger->next) {
            if (trigger->type != XML_ELEMENT_NODE) continue;
            if (is_enabled(trigger)) read.has_enabled_trigger = true;
            if (!in_task_namespace(trigger)) continue;
            const std::string_view kind = name_of(trigger);
            if (kind != "TimeTrigger" && kind != "CalendarTrigger") continue;
            if (auto rule = read_trigger(trigger, kind == "CalendarTrigger")) read.rules.push_back(*rule);
        }
    }
    read.has_time_triggers = !read.rules.empty();
    return read;
}

TriggerRules read_trigger_rules(std::string_view xml) {
    const std::unique_ptr<xmlDoc, FreeDocument> document(
        xmlReadMemory(xml.data(), static_cast<int>(xml.size()), nullptr, nullptr,
                      XML_PARSE_NONET | XML_PARSE_IGNORE_ENC | XML_PARSE_NOERROR | XML_PARSE_NOWARNING));
    return read_trigger_rules(document ? xmlDocGetRootElement(document.get()) : nullptr);
}

}  // namespace winemu
