// run_records.hpp: the start records of a task, kept in the library beside the task.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace winemu {

// One started (or not startable) Exec action.
struct RunRecord {
    double time = 0;                 // seconds since the epoch
    std::vector<std::string> argv;   // UTF-8
    std::optional<long> pid;         // when the process started
    std::optional<std::string> error;  // why it did not
};

// Appends the records to the file in one write (each a line of JSON); false when that fails.
bool append_run_records(const std::string& file, const std::vector<RunRecord>& records);

// The records in the file as one JSON array, oldest first ("[]" when there is no file).
std::string run_records_json(const std::string& file);

}  // namespace winemu
