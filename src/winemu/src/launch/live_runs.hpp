// live_runs.hpp: the runs of a task (or of the library) whose runner still lives.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/task_paths.hpp"
#include "library/unique_fd.hpp"

namespace winemu {

struct LiveRun {
    std::shared_ptr<UniqueFd> records;  // the records file, to test the run's lock
    std::uint32_t run = 0;
    std::optional<long> runner;  // its process group, once the runner has recorded it
};

// The live runs of one task, or of every task in the library when `path` is null; with `before`,
// only those whose records come before that run's first one (the runs it queues behind); with a
// `tail`, only runs with a record in that many last bytes of the task's records (what RunEx
// looks at, so that its cost does not grow with the records). Reads at most the newest
// largest_records_read bytes of any task's records.
std::vector<LiveRun> live_runs(const std::string& library, const ResolvedTaskPath* path,
                               std::optional<std::uint32_t> before = std::nullopt, off_t tail = 0);
// The same of a records file held open, whatever became of its task since (deleted, replaced).
std::vector<LiveRun> live_runs_in(const UniqueFd& records, std::optional<std::uint32_t> before = std::nullopt,
                                  off_t tail = 0);

// The tail RunEx reads to learn whether an instance runs. Unless the task's policy was Parallel
// (it is then not asked), runs of a task follow one another (IgnoreNew, StopExisting) or queue
// (Queue, whose waiting runs are live too), so a live run has the newest record or is followed
// only by live runs' records: a few records' worth is enough.
inline constexpr off_t recent_records = 4 * 1024;

// Whether the run's runner still holds the run's lock.
bool is_live(const LiveRun& run) noexcept;

// Waits up to `seconds` for the runs to end; how many still run.
long wait_for_runs(std::vector<LiveRun>& runs, double seconds);

// Stops the runs that `collect` finds: their runners end their actions and record them as
// terminated; runners still there after `seconds` are killed. How many still run.
long end_live_runs(const std::function<std::vector<LiveRun>()>& collect, double seconds);

}  // namespace winemu
