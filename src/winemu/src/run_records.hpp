// run_records.hpp: the start records of a task, kept in the library beside the task.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winemu {

// One started (or not startable) Exec action.
struct RunRecord {
    double time = 0;                 // seconds since the epoch
    std::vector<std::string> argv;   // UTF-8
    std::optional<long> pid;         // when the process started
    std::optional<std::string> error;  // why it did not
};

// The records as the library keeps them: one line of JSON each.
std::string run_record_lines(const std::vector<RunRecord>& records);

// The kept lines as one JSON array, oldest first; a line left incomplete by a failed write is
// skipped.
std::string run_records_json(std::string_view lines);

}  // namespace winemu
