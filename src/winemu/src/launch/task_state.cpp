// task_state.cpp: the state the service keeps of a task: its last run, last result, running instances.
#include "launch/task_state.hpp"

#include <charconv>
#include <cmath>
#include <cstdint>
#include <map>
#include <string_view>

#include "launch/run_lock.hpp"
#include "launch/run_records.hpp"
#include "launch/run_results.hpp"
#include "launch/task_launch.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

std::optional<double> number_after(std::string_view line, std::string_view key) {
    const std::size_t at = line.rfind(key);
    if (at == std::string_view::npos) return std::nullopt;
    double value = 0;
    const char* first = line.data() + at + key.size();
    if (std::from_chars(first, line.data() + line.size(), value).ec != std::errc()) return std::nullopt;
    return value;
}

// The word of a field written as `"key": "word"` in the outcome.
std::string_view word_after(std::string_view line, std::string_view key) {
    const std::size_t at = line.rfind(key);
    if (at == std::string_view::npos) return {};
    const std::size_t start = at + key.size();
    return line.substr(start, line.find('"', start) - start);
}

// The first argument's JSON string (quotes included); inside it every quote is escaped.
std::string first_argument(std::string_view line) {
    const std::size_t open = line.find("\"argv\": [\"");
    if (open == std::string_view::npos) return "null";
    std::size_t end = open + 10;
    while (end < line.size() && line[end] != '"') end += line[end] == '\\' ? 2 : 1;
    return std::string(line.substr(open + 9, end + 1 - (open + 9)));
}

// An exit code as the records keep one: an integer that a 32-bit exit code (or minus a signal)
// can be. Anything else (1e300, 2.5, a number past 32 bits) is a damaged record, never a result.
std::optional<HRESULT> exit_code_of(std::string_view line) {
    const auto value = number_after(line, "\"exit_code\": ");
    if (!value || !(*value >= -2147483648.0 && *value <= 4294967295.0) || *value != std::trunc(*value))
        return std::nullopt;
    return static_cast<HRESULT>(static_cast<std::uint32_t>(static_cast<std::int64_t>(*value)));
}

HRESULT launch_error(std::string_view line) {
    const std::size_t error = line.rfind("\"error\": \"");
    if (error == std::string_view::npos) return E_FAIL;
    const std::string_view text = line.substr(error + 10);
    if (text.starts_with("No such file")) return hresult_of(0x80070002u);  // ERROR_FILE_NOT_FOUND
    if (text.starts_with("Permission denied")) return E_ACCESSDENIED;
    if (text.starts_with(invalid_directory_text)) return hresult_of(0x8007010Bu);  // ERROR_DIRECTORY
    return E_FAIL;
}

struct RunSeen {
    double time = 0;
    std::string_view last_line;  // its newest record, in the text read
    bool closed = false;         // ended: no lock to test
};

}  // namespace

TaskRunState task_run_state(const std::string& library, const ResolvedTaskPath& path) {
    return task_run_state(open_task_runs(library, path));
}

TaskRunState task_run_state(const UniqueFd& records) {
    TaskRunState state;
    state.last_result = SCHED_S_TASK_HAS_NOT_RUN;
    const std::string lines = records ? read_task_runs(records.get()) : std::string();
    std::map<std::uint32_t, RunSeen> runs;
    std::vector<std::uint32_t> order;  // runs by their first record
    for_each_record_line(lines, [&](std::string_view line) {
        const auto outcome = read_outcome(line);
        const auto time = record_time(line);
        if (!outcome || !time) {
            state.damaged = true;
            return;
        }
        auto [seen, first] = runs.try_emplace(outcome->run, RunSeen{*time, {}});
        if (first) order.push_back(outcome->run);
        seen->second.last_line = line;
        seen->second.closed = seen->second.closed || outcome->closed;
    });
    const auto live = [&](std::uint32_t run) {
        return !runs[run].closed && (!records || run_is_live(records.get(), run));
    };
    for (const std::uint32_t run : order) {
        if (!live(run)) continue;
        const std::string_view line = runs[run].last_line;
        const auto outcome = read_outcome(line);
        const auto pid = number_after(line, "\"pid\": ");
        state.instances.push_back({run, instance_guid_of(line, run), outcome->runner, first_argument(line),
                                   pid ? std::optional<long>(static_cast<long>(*pid)) : std::nullopt,
                                   std::string(word_after(line, "\"state\": \""))});
    }
    if (order.empty()) return state;
    const std::uint32_t newest = order.back();
    const std::string_view line = runs[newest].last_line;
    state.last_run_time = runs[newest].time;
    const std::string_view action = word_after(line, "\"state\": \"");
    const auto exit_code = exit_code_of(line);
    if (live(newest)) state.last_result = SCHED_S_TASK_RUNNING;
    else if (action == "terminated") state.last_result = SCHED_S_TASK_TERMINATED;
    else if (action == "ended" && exit_code) state.last_result = *exit_code;
    else if (action == "ended") {
        state.damaged = true;
        state.last_result = records_damaged;
    } else if (action == "not started") state.last_result = launch_error(line);
    else state.last_result = run_lost;  // pending, and its runner is gone
    return state;
}

}  // namespace winemu
