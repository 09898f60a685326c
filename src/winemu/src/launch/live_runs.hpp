// live_runs.hpp: the runs of a task (or of the library) whose runner still lives.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "library/task_names.hpp"
#include "library/unique_fd.hpp"

namespace winemu {

struct LiveRun {
    std::shared_ptr<UniqueFd> records;  // the records file, to test the run's lock
    std::uint32_t run = 0;
    std::optional<long> runner;  // its process group, once the runner has recorded it
};

// The live runs of one task, or of every task in the library when `path` is null.
std::vector<LiveRun> live_runs(const std::string& library, const PathElements* path);

// Whether the run's runner still holds the run's lock.
bool is_live(const LiveRun& run) noexcept;

}  // namespace winemu
