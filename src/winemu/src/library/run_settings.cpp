// run_settings.cpp: the settings of a definition that decide how the service runs it.
//
// Read from the document the service's checks parsed (task_xml.cpp), apart from the checks
// themselves, which keeps the checks and what running needs from growing into one another.
#include "library/run_settings.hpp"

#include <algorithm>
#include <charconv>
#include <string>

#include "library/definition_nodes.hpp"
#include "library/schema_values.hpp"
#include "library/task_xml.hpp"

namespace winemu {
namespace {

// A limit beyond a century is kept at a century: a run's deadline is counted on the steady
// clock's 64-bit nanoseconds, which end 292 years on.
constexpr double longest_time_limit = 100.0 * 365 * 86400;

}  // namespace

double duration_seconds(std::string_view text) {
    if (text.size() < 2 || text.front() != 'P') return -1;
    text.remove_prefix(1);
    double seconds = 0;
    bool in_time = false;
    bool any = false;
    while (!text.empty()) {
        if (text.front() == 'T') {
            if (in_time) return -1;
            in_time = true;
            text.remove_prefix(1);
            continue;
        }
        double value = 0;
        const auto read = std::from_chars(text.data(), text.data() + text.size(), value);
        if (read.ec != std::errc() || read.ptr == text.data() + text.size() || value < 0) return -1;
        const char unit = *read.ptr;
        text.remove_prefix(static_cast<std::size_t>(read.ptr - text.data()) + 1);
        double scale = 0;
        if (!in_time) scale = unit == 'Y' ? 365 * 86400.0 : unit == 'M' ? 30 * 86400.0 : unit == 'D' ? 86400.0 : 0;
        else scale = unit == 'H' ? 3600.0 : unit == 'M' ? 60.0 : unit == 'S' ? 1.0 : 0;
        if (scale == 0) return -1;
        seconds += value * scale;
        any = true;
    }
    return any ? seconds : -1;
}

RunSettings read_run_settings(const xmlNode* task) {
    RunSettings settings;
    for (const xmlNode* part = task->children; part; part = part->next) {
        if (!in_task_namespace(part) || name_of(part) != "Settings") continue;
        for (const xmlNode* setting = part->children; setting; setting = setting->next) {
            if (!in_task_namespace(setting)) continue;
            const std::string_view name = name_of(setting);
            const std::string value = text_of(setting);
            if (name == "AllowStartOnDemand") {
                settings.allow_start_on_demand = boolean_value(value);
            } else if (name == "MultipleInstancesPolicy") {
                if (value == "Parallel") settings.instances = InstancesPolicy::parallel;
                if (value == "Queue") settings.instances = InstancesPolicy::queue;
                if (value == "StopExisting") settings.instances = InstancesPolicy::stop_existing;
            } else if (name == "ExecutionTimeLimit") {
                if (const double limit = duration_seconds(value); limit >= 0)
                    settings.time_limit = std::min(limit, longest_time_limit);
            }
        }
    }
    return settings;
}

}  // namespace winemu
