// local_time.cpp: calendar arithmetic for the service's local times, utc_offset_at and LocalOffsets.
#include "scheduler/local_time.hpp"

#include <algorithm>
#include <cmath>
#include <ctime>

namespace morvane::scheduler {
namespace {

constexpr double milliseconds_per_day = 86'400'000.0;
// days_from_civil(1899, 12, 30): day 0 of an OLE automation date.
constexpr long long date_epoch_days = -25'569;
// 0100-01-01 and 9999-12-31 as OLE automation dates: the range Windows converts.
constexpr double earliest_date = -657'434.0;
constexpr double latest_date = 2'958'466.0;

// The inverse of days_from_civil (Howard Hinnant's civil_from_days).
LocalTime civil_from_days(long long days) noexcept {
    days += 719'468;
    const long long era = (days >= 0 ? days : days - 146'096) / 146'097;
    const long long day_of_era = days - era * 146'097;
    const long long year_of_era = (day_of_era - day_of_era / 1460 + day_of_era / 36'524 - day_of_era / 146'096) / 365;
    const long long day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
    const long long shifted_month = (5 * day_of_year + 2) / 153;
    LocalTime time;
    time.day = static_cast<int>(day_of_year - (153 * shifted_month + 2) / 5 + 1);
    time.month = static_cast<int>(shifted_month < 10 ? shifted_month + 3 : shifted_month - 9);
    time.year = static_cast<int>(year_of_era + era * 400 + (time.month <= 2 ? 1 : 0));
    return time;
}


// The most that local time can be offset from the next day's: the search looks this far around.
constexpr long long day_seconds = 86'400;
// How far a span is grown at a time: less than the shortest time between two offset changes.
constexpr long long growth_seconds = 6 * 3600;
// Spans kept at most: times scattered over years (the tasks of a listing) make a span each.
constexpr std::size_t most_spans = 32;

}  // namespace

long long days_from_civil(int year, int month, int day) noexcept {
    const long long y = month <= 2 ? year - 1 : year;
    const long long era = (y >= 0 ? y : y - 399) / 400;
    const long long year_of_era = y - era * 400;
    const long long day_of_year = (153 * (month > 2 ? month - 3 : month + 9) + 2) / 5 + day - 1;
    const long long day_of_era = year_of_era * 365 + year_of_era / 4 - year_of_era / 100 + day_of_year;
    return era * 146'097 + day_of_era - 719'468;
}

int day_of_week(int year, int month, int day) noexcept {
    const long long days = days_from_civil(year, month, day);  // 1970-01-01 was a Thursday
    return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

long long seconds_from_local_time(const LocalTime& time) noexcept {
    return days_from_civil(time.year, time.month, time.day) * 86'400 + time.hour * 3600LL + time.minute * 60LL +
           time.second;
}

LocalTime local_time_from_seconds(long long seconds) noexcept {
    long long days = seconds / 86'400;
    long long second_of_day = seconds % 86'400;
    if (second_of_day < 0) {
        second_of_day += 86'400;
        days -= 1;
    }
    LocalTime time = civil_from_days(days);
    time.hour = static_cast<int>(second_of_day / 3600);
    time.minute = static_cast<int>(second_of_day / 60 % 60);
    time.second = static_cast<int>(second_of_day % 60);
    return time;
}

std::optional<LocalTime> local_time_from_date(double date) noexcept {
    if (date == 0.0 || !(date >= earliest_date && date < latest_date)) return std::nullopt;
    const double whole_days = std::trunc(date);
    const double time_of_day = std::fabs(date - whole_days);
    auto milliseconds = static_cast<long long>(std::llround(time_of_day * milliseconds_per_day));
    long long days = static_cast<long long>(whole_days) + date_epoch_days;
    if (milliseconds >= 86'400'000) {  // rounded up to the next midnight
        milliseconds -= 86'400'000;
        days += 1;
    }
    LocalTime time = civil_from_days(days);
    time.hour = static_cast<int>(milliseconds / 3'600'000);
    time.minute = static_cast<int>(milliseconds / 60'000 % 60);
    time.second = static_cast<int>(milliseconds / 1000 % 60);
    time.millisecond = static_cast<int>(milliseconds % 1000);
    return time;
}

int utc_offset_at(long long utc_seconds, std::string* abbreviation) noexcept {
    const auto instant = static_cast<std::time_t>(utc_seconds);
    std::tm fields{};
#ifdef _WIN32
    if (localtime_s(&fields, &instant) != 0) return 0;
#else
    if (localtime_r(&instant, &fields) == nullptr) return 0;
#endif
#if defined(__GLIBC__) || defined(__APPLE__)
    if (abbreviation != nullptr && fields.tm_zone != nullptr) *abbreviation = fields.tm_zone;
#else
    (void)abbreviation;
#endif
    const LocalTime wall{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                                    fields.tm_min, fields.tm_sec, 0};
    return static_cast<int>(seconds_from_local_time(wall) - utc_seconds);
}

int LocalOffsets::at(long long utc_seconds) {
    for (const Span& span : spans_)
        if (span.first <= utc_seconds && utc_seconds <= span.last) return span.offset;
    // Grow a span that ends (or starts) within reach: one look six hours on covers the instant
    // when the offset there is the span's, since the offset cannot change and change back.
    for (Span& span : spans_) {
        const bool after = utc_seconds > span.last && utc_seconds - span.last <= growth_seconds;
        const bool before = utc_seconds < span.first && span.first - utc_seconds <= growth_seconds;
        if (!after && !before) continue;
        const long long reach = after ? span.last + growth_seconds : span.first - growth_seconds;
        const int there = utc_offset_at(reach);
        if (there == span.offset) {
            (after ? span.last : span.first) = reach;
            return there;
        }
        // The offset changes in between, once: the instant is on the span's side or on reach's.
        const int here = utc_offset_at(utc_seconds);
        if (here == span.offset) {
            (after ? span.last : span.first) = utc_seconds;
        } else {
            keep(after ? Span{utc_seconds, reach, here} : Span{reach, utc_seconds, here});
        }
        return here;
    }
    const int offset = utc_offset_at(utc_seconds);
    keep(Span{utc_seconds, utc_seconds, offset});
    return offset;
}

void LocalOffsets::keep(Span span) {
    if (spans_.size() == most_spans) spans_.erase(spans_.begin());
    spans_.push_back(span);
}

// The search of CPython's datetime for the instant of a local time (local_to_seconds, fold 0):
// the offsets a day before and after bound every candidate.
LocalInstant LocalOffsets::instant_of(const LocalTime& time) {
    const long long local = seconds_from_local_time(time);
    const int a = at(local - day_seconds);
    const long long u1 = local - a;
    const bool u1_fits = u1 + at(u1) == local;
    int b = 0;
    if (u1_fits) {
        b = at(u1 - day_seconds);
        if (a == b) return LocalInstant{u1, a, time};
    } else {
        b = at(u1);
    }
    const long long u2 = local - b;
    if (u2 + at(u2) == local) return LocalInstant{u2, b, time};
    if (u1_fits) return LocalInstant{u1, a, time};
    // Skipped by the clocks: Python reads it with the offset after the change, so it shows as
    // the wall time before the change.
    const long long instant = std::min(u1, u2);
    const int offset = at(instant);
    LocalTime wall = local_time_from_seconds(instant + offset);
    wall.millisecond = time.millisecond;
    return LocalInstant{instant, offset, wall};
}

LocalOffsets::Readings LocalOffsets::readings_of(const LocalTime& time) {
    const long long local = seconds_from_local_time(time);
    const long long fraction = time.millisecond * 1000LL;
    // The offsets a day before and a day after bound every reading, as in instant_of.
    const int before = at(local - day_seconds);
    const int after = at(local + day_seconds);
    if (before == after) {  // no change of offset near: one reading (no zone changes twice in two days)
        const long long only = (local - before) * microseconds_per_second + fraction;
        return Readings{only, only};
    }
    const long long early = local - std::max(before, after);
    const long long late = local - std::min(before, after);
    const bool early_fits = early + at(early) == local;
    const bool late_fits = late + at(late) == local;
    if (early_fits || late_fits) {
        const long long first = (early_fits ? early : late) * microseconds_per_second + fraction;
        const long long second = (late_fits ? late : early) * microseconds_per_second + fraction;
        return Readings{first, second};
    }
    const long long skipped = (local - before) * microseconds_per_second + fraction;
    return Readings{skipped, skipped};
}

LocalTime LocalOffsets::wall_of(long long utc_microseconds) {
    long long seconds = utc_microseconds / microseconds_per_second;
    long long fraction = utc_microseconds % microseconds_per_second;
    if (fraction < 0) {
        fraction += microseconds_per_second;
        seconds -= 1;
    }
    LocalTime wall = local_time_from_seconds(seconds + at(seconds));
    wall.millisecond = static_cast<int>(fraction / 1000);
    return wall;
}

}  // namespace morvane::scheduler
