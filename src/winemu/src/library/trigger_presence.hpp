// trigger_presence.hpp: whether a definition has any trigger that can start its task.
#pragma once

#include <string_view>

namespace winemu {

// Whether the definition (UTF-8, checked by the service) has an enabled trigger of any kind:
// time and calendar triggers, and those without set times (boot, logon, idle, event, registration,
// session state). GetRunTimes tells "no trigger" from "triggers without set times" by it.
bool has_enabled_trigger(std::string_view definition);

}  // namespace winemu
