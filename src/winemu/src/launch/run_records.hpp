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

// A record as the library keeps it: one line of JSON. Its outcome ("pid" and "error") stands in a
// field of fixed width at the end, padded with blanks, so that a record written before its
// process starts can be completed in place once the start has succeeded or failed. Until then
// the field says that the start was not confirmed (which it keeps saying if the service dies
// in between).
std::string run_record_line(const RunRecord& record);
// The outcome field of the record, to overwrite the one of its line at outcome_offset(line).
std::string run_record_outcome(const RunRecord& record);
std::size_t outcome_offset(std::string_view line);
inline constexpr std::string_view unconfirmed_start = "start not confirmed";

// The kept lines as one JSON array, oldest first, without the padding; a line left incomplete by
// a failed write is skipped.
std::string run_records_json(std::string_view lines);

}  // namespace winemu
