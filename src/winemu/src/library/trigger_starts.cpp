// trigger_starts.cpp: the starts of a trigger, found day by day over the local calendar.
#include "library/trigger_starts.hpp"

#include <algorithm>

namespace winemu {
namespace {

using namespace std::chrono;

// A schedule whose days recur at all recurs within eight years (the 29th of February); one that has
// found no day in twelve never will (the 30th of February).
constexpr days longest_gap{12 * 366};

LocalSeconds wall_of(Instant instant, const BoundaryTime& clock, LocalClock& zone) {
    if (clock.offset) return LocalSeconds(instant.time_since_epoch() + *clock.offset);
    return zone.local_from_instant(instant);
}

}  // namespace

Instant instant_of(const BoundaryTime& time, LocalClock& zone) {
    if (time.offset) return Instant(time.wall.time_since_epoch() - *time.offset);
    return zone.instant_from_local(time.wall);
}

TriggerStarts::TriggerStarts(const TriggerRule& rule, LocalClock& zone, Instant from, bool with_previous,
                             Instant until)
    : rule_(rule),
      zone_(zone),
      first_day_(floor<days>(rule.start.wall)),
      time_of_day_(rule.start.wall - first_day_),
      day_(first_day_),
      last_day_(floor<days>(wall_of(until, rule.start, zone)) + days(1)),
      last_start_(first_day_) {
    if (rule.schedule == Schedule::once || !names_days(rule)) return;
    // A day early: a start's local day and the day of `from` may differ by the offset's change.
    day_ = std::max(first_day_, floor<days>(wall_of(from, rule.start, zone)) - days(1));
    if (with_previous) {
        const LocalDays lowest = std::max(first_day_, day_ - longest_gap);
        for (LocalDays day = day_; day >= lowest; day -= days(1)) {
            if (is_start_day(rule, first_day_, day)) {
                day_ = day;
                break;
            }
        }
    }
    last_start_ = day_;
}

Instant TriggerStarts::instant_of_day(LocalDays day) {
    const LocalSeconds wall = day + time_of_day_;
    if (rule_.start.offset) return Instant(wall.time_since_epoch() - *rule_.start.offset);
    return zone_.instant_from_local(wall);
}

std::optional<Instant> TriggerStarts::next() {
    if (rule_.schedule == Schedule::once) {
        if (day_ != first_day_) return std::nullopt;
        day_ += days(1);
        return instant_of(rule_.start, zone_);
    }
    if (!names_days(rule_)) return std::nullopt;
    if (rule_.schedule == Schedule::daily) {
        // Straight to the next day of the interval.
        const auto past = (day_ - first_day_).count() % rule_.days_interval;
        if (past != 0) day_ += days(rule_.days_interval - past);
        if (day_ > last_day_) return std::nullopt;
        const LocalDays day = day_;
        day_ += days(rule_.days_interval);
        return instant_of_day(day);
    }
    for (; day_ <= last_day_ && day_ - last_start_ <= longest_gap; day_ += days(1)) {
        if (!is_start_day(rule_, first_day_, day_)) continue;
        last_start_ = day_;
        day_ += days(1);
        return instant_of_day(last_start_);
    }
    return std::nullopt;
}

}  // namespace winemu
