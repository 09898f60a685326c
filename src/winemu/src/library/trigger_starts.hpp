// trigger_starts.hpp: the instants at which a time or calendar trigger starts its task, one after
// another, before any repetition.
#pragma once

#include <optional>

#include "library/calendar_rules.hpp"
#include "library/local_clock.hpp"
#include "library/trigger_rules.hpp"

namespace winemu {

// The instant a boundary names: the time written, in the offset written with it, else local time.
Instant instant_of(const BoundaryTime& time, LocalClock& zone);

class TriggerStarts {
public:
    // Starts from the first at or after `from` (with `with_previous`, from the last one before
    // `from` if there is one, whose repetition may still reach it) up to the last at or before
    // `until`. A calendar trigger's starts fall at the StartBoundary's time of day, read in the
    // StartBoundary's own clock: local time, or its fixed offset when it carries one (so a trigger
    // written in UTC keeps its UTC time across the local zone's daylight-saving changes).
    TriggerStarts(const TriggerRule& rule, LocalClock& zone, Instant from, bool with_previous, Instant until);

    std::optional<Instant> next();

private:
    Instant instant_of_day(LocalDays day);

    const TriggerRule& rule_;
    LocalClock& zone_;
    LocalDays first_day_;
    std::chrono::seconds time_of_day_;
    LocalDays day_;       // the next day to look at
    LocalDays last_day_;  // no start can fall past it
    LocalDays last_start_;
};

}  // namespace winemu
