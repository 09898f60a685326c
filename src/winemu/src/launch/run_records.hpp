// run_records.hpp: the records of a task's action starts, kept in the library beside the task.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winemu {

// Where an action stands. `starting`, `queued` (its run waits for the task's earlier runs to end)
// and `running` are only true while the run's runner lives (run_lock.hpp): a reader shows such a
// record as `lost` once the runner is gone.
enum class ActionState { starting, queued, running, ended, terminated, not_started, lost };

// One Exec action of a run: started, ended, or not startable.
struct RunRecord {
    double time = 0;                   // seconds since the epoch: when recorded (queued, or to start)
    std::string instance;              // the run's instance GUID, "{...}"; records written before
                                       // runs had one lack it (see instance_guid_of)
    std::string account;               // who the run runs as ("COMPUTER\\name", a SID); empty
                                       // in records made before runs kept it
    std::vector<std::string> argv;     // UTF-8
    std::uint32_t run = 0;             // the run it belongs to
    std::optional<long> runner;        // the process group of the run's runner, once it runs
    ActionState state = ActionState::starting;
    std::optional<long> pid;           // when the process started
    std::optional<double> start_time;  // when it started (later than `time` when its run was queued)
    std::optional<double> end_time;    // when it ended
    std::optional<long> exit_code;     // its exit status; minus the signal that ended it
    bool last = false;                 // the run's last record: once it is settled, the run has ended
    std::optional<std::string> error;  // why it did not start
};

/* A record as the library keeps it: one line of JSON. Its outcome (every field from "run" on)
 * stands in a field of fixed width at the end, padded with blanks, so that the record written
 * before the action starts is completed in place as it starts and ends: one pwrite of the whole
 * field, never a half-written record. */
std::string run_record_line(const RunRecord& record);
// The outcome field of the record, to overwrite the one of its line at outcome_offset(line).
std::string run_record_outcome(const RunRecord& record);
std::size_t outcome_offset(std::string_view line);

// What a reader needs of a kept line's outcome.
struct RecordOutcome {
    std::uint32_t run = 0;
    std::optional<long> runner;
    bool pending = false;  // starting, queued or running: true only while its runner lives
    bool closed = false;   // the run's last record, settled: the run has ended (no lock to test)
};
std::optional<RecordOutcome> read_outcome(std::string_view line);
// The time a record begins with (its first field, looked for there only: a search of the whole
// line for every record of every task listed cost more than the rest of reading them).
std::optional<double> record_time(std::string_view line);

// The kept lines as one JSON array, oldest first, without the padding; a line left incomplete by
// a failed write is skipped. A pending record whose run `is_live` denies reads as lost.
std::string run_records_json(std::string_view lines, const std::function<bool(std::uint32_t run)>& is_live);

// The text of a JSON string as the records write it (quotes included), UTF-8; nothing for "null"
// or text that is no such string.
std::optional<std::string> json_string_text(std::string_view quoted);

// The instance GUID of the run that a kept line belongs to: the one it holds, or for a record
// written before runs had one, a GUID made from the run's number ("{0000ABCD-0000-...}"), so that
// such a run can be named all the same.
std::string instance_guid_of(std::string_view line, std::uint32_t run);

// Calls `each` with every whole kept line, oldest first.
void for_each_record_line(std::string_view lines, const std::function<void(std::string_view line)>& each);

}  // namespace winemu
