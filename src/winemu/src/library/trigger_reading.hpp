// trigger_reading.hpp: the triggers of a definition, read for the trigger engine.
#pragma once

#include <libxml/tree.h>

#include <string_view>

#include "library/trigger_rules.hpp"

namespace winemu {

// The TimeTrigger and CalendarTrigger elements under the Task element of a definition that passed
// the service's checks, the disabled ones too, and whether any trigger of any kind is enabled.
// Triggers of other kinds and those without a readable StartBoundary give no rule; no element
// gives none at all.
TriggerRules read_trigger_rules(const xmlNode* task);

// The same from a definition's text (UTF-8), for the control API's door to the trigger engine:
// unreadable text gives no rule.
TriggerRules read_trigger_rules(std::string_view xml);

}  // namespace winemu
