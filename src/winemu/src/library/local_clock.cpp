// local_clock.cpp: local wall-clock times and instants through localtime_r, which follows TZ: the
// clock of the trigger engine, and the service's local times (SYSTEMTIME, DATE) read by its rules
// (mktime leaves skipped and repeated times to chance).
//
// A zone's offset changes rarely (twice a year where daylight-saving time is kept), so the clock
// remembers spans of instants over which it checked the offset and answers from them. It checks
// a span three days at a time: two changes within three days that cancel out would go unseen, and
// no zone of the tz database has had such a pair since 1900 (the closest: four days, Freetown in
// 1939; six and seven, Brazil in 2000). A change found is pinned to its second by bisection, once.
#include "library/local_clock.hpp"

#include <ctime>

namespace winemu {
namespace {

constexpr std::int64_t day = 86400;
constexpr std::int64_t step = 3 * day;  // how far one check of the offset reaches
// Offsets lie within -12 and +14 hours: every instant that can carry a local time lies within 16
// hours of that local time read as UTC.
constexpr std::int64_t widest_offset = 16 * 3600;

std::int32_t zone_offset(std::int64_t instant) {
    const std::time_t seconds = static_cast<std::time_t>(instant);
    std::tm fields{};
    if (!localtime_r(&seconds, &fields)) return 0;
    return static_cast<std::int32_t>(fields.tm_gmtoff);
}

}  // namespace

void LocalClock::extend(Span& span, std::int64_t instant) {
    while (!span.closed && span.until <= instant) {
        const std::int64_t probe = span.until - 1 + step;
        if (zone_offset(probe) == span.offset) {
            span.until = probe + 1;
            continue;
        }
        const Change found = change_between(span.until - 1, probe, span.offset);
        span.until = found.at;
        span.closed = true;
    }
}

std::int32_t LocalClock::offset_at(std::int64_t instant) {
    for (Span& span : spans_) {
        if (span.from > instant || span.until == span.from) continue;
        if (instant < span.until) return span.offset;
        // Just past a span checked so far only: carry it on rather than start anew.
        if (!span.closed && instant - span.until < step) {
            extend(span, instant);
            if (instant < span.until) return span.offset;
        }
    }
    Span& fresh = spans_[next_span_];
    next_span_ = 1 - next_span_;
    fresh = Span{instant, instant + 1, zone_offset(instant), false};
    extend(fresh, instant + step - 1);
    return fresh.offset;
}

LocalClock::Change LocalClock::change_between(std::int64_t low, std::int64_t high, std::int32_t low_offset) {
    if (has_change_ && change_.at > low && change_.at <= high && change_.before == low_offset) return change_;
    // Invariant: low has low_offset, high does not.
    std::int32_t high_offset = zone_offset(high);
    while (high - low > 1) {
        const std::int64_t middle = low + (high - low) / 2;
        const std::int32_t offset = zone_offset(middle);
        if (offset == low_offset) {
            low = middle;
        } else {
            high = middle;
            high_offset = offset;
        }
    }
    change_ = Change{high, low_offset, high_offset};
    has_change_ = true;
    return change_;
}

Instant LocalClock::instant_from_local(LocalSeconds local) {
    const std::int64_t wall = local.time_since_epoch().count();
    const std::int32_t early = offset_at(wall - widest_offset);
    const std::int32_t late = offset_at(wall + widest_offset);
    std::int64_t instant = wall - early;
    if (early != late) {
        const Change change = change_between(wall - widest_offset, wall + widest_offset, early);
        // The first reading when the time exists before the change (it may exist after it too);
        // else the reading after it, or, for a skipped time, the offset before it, which lands
        // that far past the change.
        if (wall - change.before >= change.at) {
            const std::int64_t after = wall - change.after;
            if (after >= change.at) instant = after;
        }
    }
    return Instant(std::chrono::seconds(instant));
}

LocalSeconds LocalClock::local_from_instant(Instant instant) {
    const std::int64_t seconds = instant.time_since_epoch().count();
    return LocalSeconds(std::chrono::seconds(seconds + offset_at(seconds)));
}

// ---- the service's local times ---------------------------------------------------------------

Instant instant_from_local(const SYSTEMTIME& local) noexcept {
    using namespace std::chrono;
    const local_days day{year(local.wYear) / month(local.wMonth) / std::chrono::day(local.wDay)};
    LocalClock zone;
    return zone.instant_from_local(day + hours(local.wHour) + minutes(local.wMinute) + seconds(local.wSecond));
}

namespace {

SYSTEMTIME fields_of(LocalSeconds local) noexcept {
    using namespace std::chrono;
    const local_days day = floor<days>(local);
    const year_month_day date{day};
    const hh_mm_ss clock{local - day};
    return SYSTEMTIME{
        .wYear = static_cast<WORD>(static_cast<int>(date.year())),
        .wMonth = static_cast<WORD>(static_cast<unsigned>(date.month())),
        .wDayOfWeek = static_cast<WORD>(weekday(day).c_encoding()),
        .wDay = static_cast<WORD>(static_cast<unsigned>(date.day())),
        .wHour = static_cast<WORD>(clock.hours().count()),
        .wMinute = static_cast<WORD>(clock.minutes().count()),
        .wSecond = static_cast<WORD>(clock.seconds().count()),
        .wMilliseconds = 0,
    };
}

}  // namespace

SYSTEMTIME local_from_instant(Instant instant) noexcept {
    LocalClock zone;
    return fields_of(zone.local_from_instant(instant));
}

void local_from_instants(std::span<const Instant> instants, SYSTEMTIME* local) noexcept {
    LocalClock zone;
    for (const Instant instant : instants) *local++ = fields_of(zone.local_from_instant(instant));
}

DATE date_from_instant(Instant instant) noexcept {
    const std::time_t seconds = instant.time_since_epoch().count();
    std::tm fields{};
    localtime_r(&seconds, &fields);
    // Local wall-clock seconds since 1970, then days since 1899-12-30 (25569 days before 1970).
    const double local_seconds = static_cast<double>(seconds) + static_cast<double>(fields.tm_gmtoff);
    return local_seconds / 86400.0 + 25569.0;
}

}  // namespace winemu
