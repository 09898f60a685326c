// trigger_reading.hpp: the time and calendar triggers of a definition, read for the trigger engine.
#pragma once

#include <string_view>

#include "library/trigger_rules.hpp"

namespace winemu {

// The TimeTrigger and CalendarTrigger elements of a definition that passed the service's checks
// (UTF-8), the disabled ones too. Triggers of other kinds and those without a readable
// StartBoundary give no rule. Unreadable text gives none at all.
TriggerRules read_trigger_rules(std::string_view xml);

}  // namespace winemu
