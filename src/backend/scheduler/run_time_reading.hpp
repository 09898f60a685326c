// run_time_reading.hpp: the service's run times, local wall-clock times in the order it lists
// them, read back as the instants they stand for.
#pragma once

#include <optional>

#include "scheduler/local_time.hpp"

namespace morvane::scheduler {

/* GetRunTimes speaks local SYSTEMTIMEs, which cannot tell the two passes of an hour that the
 * clocks repeat apart: 02:30 on the morning Berlin's clocks go back is 00:30 or 01:30 UTC. The
 * service lists its times in the order they happen, so each time is read as the earliest instant
 * it names that comes after the time read before it: a repeated wall time listed after a later
 * one (02:00, 02:30, 02:00 again) is the second pass. A time that names no instant after the one
 * before (listed again) gives nothing, so what comes out is strictly increasing. */
class RunTimeReading {
public:
    // Times are read as coming after `after` (microseconds since 1970-01-01 00:00 UTC).
    RunTimeReading(LocalOffsets& zone, long long after) : zone_(zone), previous_(after) {}

    // The instant of the next time listed, in microseconds; nothing for a time listed again.
    std::optional<long long> next(const LocalTime& time);

    // The instant of the last time read, or `after` when none was.
    long long last() const { return previous_; }

private:
    LocalOffsets& zone_;
    long long previous_;
};

}  // namespace morvane::scheduler
