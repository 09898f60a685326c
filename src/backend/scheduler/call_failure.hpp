// call_failure.hpp: a failed platform call turned into a SchedulerError under the call's label.
#pragma once

#include <string_view>

#include "scheduler/platform.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// For a call that returned a failure HRESULT: captures the thread's error information at once and
// renders it. Call it right after the failing call, before any other COM call on the thread.
SchedulerError failed_call(HRESULT code, std::string_view label);

// For a call that reported success but handed back no object: code 0, nothing captured.
SchedulerError call_without_object(std::string_view label);

}  // namespace morvane::scheduler
