// scheduler_error.cpp: SchedulerError::from_platform, rendering a PlatformError into the record.
#include "scheduler/scheduler_error.hpp"

#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {

SchedulerError SchedulerError::from_platform(PlatformError error, std::string_view operation) {
    SchedulerError record;
    {
        // The text is worked out while the detail is alive; leaving the block releases it.
        const PlatformError taken = std::move(error);
        record.message = taken.to_text();
        record.code = taken.code();
    }
    record.operation = operation;
    return record;
}

}  // namespace morvane::scheduler
