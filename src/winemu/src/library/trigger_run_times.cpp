// trigger_run_times.cpp: placeholder until the trigger engine lands: no time triggers.
#include "library/trigger_run_times.hpp"

namespace winemu {

TriggerRunTimes trigger_run_times(std::string_view, Instant, Instant, std::size_t) { return {}; }

}  // namespace winemu
