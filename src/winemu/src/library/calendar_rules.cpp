// calendar_rules.cpp: the days of the daily, weekly, monthly and monthly day-of-week schedules.
//
// Weeks run from Sunday to Saturday, as SYSTEMTIME numbers the days and DaysOfWeek's bits order
// them: WeeksInterval counts whole weeks from the week of the StartBoundary. Week 1 of a month is
// its days 1 to 7, week 4 its days 22 to 28, and "Last" the last seven days; day 31 (or 29, 30)
// of a month that has no such day gives no start in that month, "Last" its last day. A schedule
// that leaves out its days of the week, days of the month or weeks names no day (Months left out:
// every month, see trigger_reading.cpp).
#include "library/calendar_rules.hpp"

namespace winemu {
namespace {

using namespace std::chrono;

bool has_bit(unsigned bits, unsigned index) { return (bits >> index & 1u) != 0; }

unsigned weekday_of(LocalDays day) { return weekday(day).c_encoding(); }  // 0 is Sunday

LocalDays week_of(LocalDays day) { return day - days(weekday_of(day)); }

}  // namespace

bool names_days(const TriggerRule& rule) {
    switch (rule.schedule) {
    case Schedule::once:
    case Schedule::daily: return true;
    case Schedule::weekly: return rule.days_of_week != 0;
    case Schedule::monthly: return rule.months != 0 && rule.days_of_month != 0;
    case Schedule::monthly_day_of_week: return rule.months != 0 && rule.days_of_week != 0 && rule.weeks != 0;
    }
    return false;
}

bool is_start_day(const TriggerRule& rule, LocalDays first, LocalDays day) {
    if (day < first) return false;
    switch (rule.schedule) {
    case Schedule::once: return day == first;
    case Schedule::daily: return (day - first).count() % rule.days_interval == 0;
    case Schedule::weekly: {
        const auto weeks_apart = (week_of(day) - week_of(first)).count() / 7;
        return has_bit(rule.days_of_week, weekday_of(day)) && weeks_apart % rule.weeks_interval == 0;
    }
    case Schedule::monthly:
    case Schedule::monthly_day_of_week: break;
    }
    const year_month_day date{day};
    if (!has_bit(rule.months, unsigned(date.month()) - 1)) return false;
    const unsigned day_of_month = unsigned(date.day());
    const unsigned month_length = unsigned((date.year() / date.month() / last).day());
    if (rule.schedule == Schedule::monthly) {
        return has_bit(rule.days_of_month, day_of_month - 1) ||
               ((rule.days_of_month & last_day_of_month) != 0 && day_of_month == month_length);
    }
    if (!has_bit(rule.days_of_week, weekday_of(day))) return false;
    const unsigned week = (day_of_month - 1) / 7;  // 0 to 4
    return (week < 4 && has_bit(rule.weeks, week)) ||
           ((rule.weeks & last_week) != 0 && day_of_month + 7 > month_length);
}

}  // namespace winemu
