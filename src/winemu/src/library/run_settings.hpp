// run_settings.hpp: the settings of a definition that decide how the service runs it.
#pragma once

#include <string_view>

// libxml2's node, declared rather than included: the runner includes this header, and is built
// without libxml2.
typedef struct _xmlNode xmlNode;

namespace winemu {

// Settings/MultipleInstancesPolicy (TASK_INSTANCES_POLICY's order).
enum class InstancesPolicy { parallel, queue, ignore_new, stop_existing };

struct RunSettings {
    bool allow_start_on_demand = true;                   // Settings/AllowStartOnDemand
    InstancesPolicy instances = InstancesPolicy::ignore_new;  // the schema's default
    double time_limit = 72 * 3600;  // Settings/ExecutionTimeLimit in seconds, default PT72H; 0: none (PT0S)
};

// The run settings under the Task element of a definition that has passed the service's checks;
// what is absent (or unreadable) keeps the schema's default.
RunSettings read_run_settings(const xmlNode* task);

// An xs:duration ("P1DT2H", "PT30M", "PT0.5S"...) in seconds, a month taken as 30 days and a year as
// 365; negative when it is not one.
double duration_seconds(std::string_view text);

}  // namespace winemu
