// run_time_reading.cpp: RunTimeReading.
#include "scheduler/run_time_reading.hpp"

namespace morvane::scheduler {

std::optional<long long> RunTimeReading::next(const LocalTime& time) {
    const LocalOffsets::Readings readings = zone_.readings_of(time);
    if (readings.first > previous_) {
        previous_ = readings.first;
    } else if (readings.second > previous_) {
        previous_ = readings.second;
    } else {
        return std::nullopt;
    }
    return previous_;
}

}  // namespace morvane::scheduler
