// calendar_rules.hpp: on which local days a calendar trigger starts its task.
#pragma once

#include <chrono>

#include "library/trigger_rules.hpp"

namespace winemu {

using LocalDays = std::chrono::local_days;

// Whether the rule starts the task on `day`, a day on or after the day of its StartBoundary
// (`first`). Every rule but Schedule::once.
bool is_start_day(const TriggerRule& rule, LocalDays first, LocalDays day);

// Whether the rule names any day at all (a weekly schedule without days of the week names none).
bool names_days(const TriggerRule& rule);

}  // namespace winemu
