// local_offset.cpp: utc_offset_at and instant_of_local_time.
#include "module/tasks/local_offset.hpp"

#include <algorithm>
#include <ctime>

namespace morvane::module {
namespace {

// The most that a day can be offset from the next: the search looks this far around a time.
constexpr long long kDaySeconds = 86'400;

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
    const scheduler::LocalTime wall{fields.tm_year + 1900, fields.tm_mon + 1, fields.tm_mday, fields.tm_hour,
                                    fields.tm_min, fields.tm_sec, 0};
    return static_cast<int>(scheduler::seconds_from_local_time(wall) - utc_seconds);
}

// The search of CPython's datetime for the instant of a local time (local_to_seconds, fold 0):
// the offsets a day before and after bound every candidate.
LocalInstant instant_of_local_time(const scheduler::LocalTime& time) noexcept {
    const long long local = scheduler::seconds_from_local_time(time);
    const int a = utc_offset_at(local - kDaySeconds);
    const long long u1 = local - a;
    const bool u1_fits = u1 + utc_offset_at(u1) == local;
    int b = 0;
    if (u1_fits) {
        b = utc_offset_at(u1 - kDaySeconds);
        if (a == b) return LocalInstant{u1, a, time};
    } else {
        b = utc_offset_at(u1);
    }
    const long long u2 = local - b;
    if (u2 + utc_offset_at(u2) == local) return LocalInstant{u2, b, time};
    if (u1_fits) return LocalInstant{u1, a, time};
    // Skipped by the clocks: read with the earlier (smaller) offset, shown as local time shows it.
    const long long instant = std::max(u1, u2);
    const int offset = utc_offset_at(instant);
    scheduler::LocalTime wall = scheduler::local_time_from_seconds(instant + offset);
    wall.millisecond = time.millisecond;
    return LocalInstant{instant, offset, wall};
}

}  // namespace morvane::module
