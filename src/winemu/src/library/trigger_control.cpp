// trigger_control.cpp: the control API's door to the trigger engine, so that tests can hold it
// against a model of their own without registering tasks.
#include <algorithm>
#include <cstring>
#include <type_traits>

#include <winemu/control.h>

#include "library/trigger_reading.hpp"
#include "library/trigger_run_times.hpp"

extern "C" WINEMU_API size_t winemu_trigger_run_times(const char* definition, long long start, long long end,
                                                      size_t max_count, long long* times, size_t capacity,
                                                      int* has_time_triggers) {
    if (!definition) return static_cast<size_t>(-1);
    try {
        using winemu::Instant;
        const winemu::TriggerRunTimes found = winemu::trigger_run_times(
            winemu::read_trigger_rules(std::string_view(definition)), Instant(std::chrono::seconds(start)), Instant(std::chrono::seconds(end)), max_count);
        if (has_time_triggers) *has_time_triggers = found.has_time_triggers ? 1 : 0;
        // An Instant is its count of seconds: copied as they lie.
        static_assert(sizeof(Instant) == sizeof(long long) && std::is_trivially_copyable_v<Instant>);
        const size_t copied = times ? std::min(capacity, found.times.size()) : 0;
        if (copied != 0) std::memcpy(times, found.times.data(), copied * sizeof(long long));
        return found.times.size();
    } catch (...) {
        return static_cast<size_t>(-1);  // out of memory
    }
}
