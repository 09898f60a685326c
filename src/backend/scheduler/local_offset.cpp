// local_offset.cpp: utc_offset_at and LocalOffsets.
#include "scheduler/local_offset.hpp"

#include <algorithm>
#include <ctime>

namespace morvane::scheduler {
namespace {

// The most that local time can be offset from the next day's: the search looks this far around.
constexpr long long kDaySeconds = 86'400;
// How far a span is grown at a time: less than the shortest time between two offset changes.
constexpr long long kGrowthSeconds = 6 * 3600;
// Spans kept at most: times scattered over years (the tasks of a listing) make a span each.
constexpr std::size_t kMostSpans = 32;

}  // namespace

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
        const bool after = utc_seconds > span.last && utc_seconds - span.last <= kGrowthSeconds;
        const bool before = utc_seconds < span.first && span.first - utc_seconds <= kGrowthSeconds;
        if (!after && !before) continue;
        const long long reach = after ? span.last + kGrowthSeconds : span.first - kGrowthSeconds;
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
    if (spans_.size() == kMostSpans) spans_.erase(spans_.begin());
    spans_.push_back(span);
}

// The search of CPython's datetime for the instant of a local time (local_to_seconds, fold 0):
// the offsets a day before and after bound every candidate.
LocalInstant LocalOffsets::instant_of(const LocalTime& time) {
    const long long local = seconds_from_local_time(time);
    const int a = at(local - kDaySeconds);
    const long long u1 = local - a;
    const bool u1_fits = u1 + at(u1) == local;
    int b = 0;
    if (u1_fits) {
        b = at(u1 - kDaySeconds);
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
    const int before = at(local - kDaySeconds);
    const int after = at(local + kDaySeconds);
    if (before == after) {  // no change of offset near: one reading (no zone changes twice in two days)
        const long long only = (local - before) * kMicrosecondsPerSecond + fraction;
        return Readings{only, only};
    }
    const long long early = local - std::max(before, after);
    const long long late = local - std::min(before, after);
    const bool early_fits = early + at(early) == local;
    const bool late_fits = late + at(late) == local;
    if (early_fits || late_fits) {
        const long long first = (early_fits ? early : late) * kMicrosecondsPerSecond + fraction;
        const long long second = (late_fits ? late : early) * kMicrosecondsPerSecond + fraction;
        return Readings{first, second};
    }
    const long long skipped = (local - before) * kMicrosecondsPerSecond + fraction;
    return Readings{skipped, skipped};
}

LocalTime LocalOffsets::wall_of(long long utc_microseconds) {
    long long seconds = utc_microseconds / kMicrosecondsPerSecond;
    long long fraction = utc_microseconds % kMicrosecondsPerSecond;
    if (fraction < 0) {
        fraction += kMicrosecondsPerSecond;
        seconds -= 1;
    }
    LocalTime wall = local_time_from_seconds(seconds + at(seconds));
    wall.millisecond = static_cast<int>(fraction / 1000);
    return wall;
}

}  // namespace morvane::scheduler
