// call_failure.cpp: failed_call and call_without_object.
#include "scheduler/call_failure.hpp"

#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {

SchedulerError failed_call(HRESULT code, std::string_view label) {
    return SchedulerError::from_platform(PlatformError::from_hresult(code), label);
}

SchedulerError call_without_object(std::string_view label) {
    return SchedulerError::from_platform(PlatformError::without_capture(0), label);
}

}  // namespace morvane::scheduler
