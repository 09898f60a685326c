// trigger_reading.hpp: the time and calendar triggers of a definition, read for the trigger engine.
#pragma once

#include <string_view>

#include "library/trigger_rules.hpp"

namespace winemu {

// The enabled TimeTrigger and CalendarTrigger elements of a definition that passed the service's
// checks (UTF-8). Triggers of other kinds, disabled ones and those without a readable
// StartBoundary give no rule. Unreadable text gives none at all.
TriggerRules read_trigger_rules(std::string_view xml);

}  // namespace winemu
