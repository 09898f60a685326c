// live_runs.cpp: the runs of a task (or of the library) whose runner still lives.
#include "launch/live_runs.hpp"

#include <fcntl.h>
#include <ftw.h>
#include <signal.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <thread>

#include "launch/run_lock.hpp"
#include "launch/run_records.hpp"
#include "library/library_files.hpp"
#include "library/task_limits.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

// Runs in the order of their first record in `text`: the runner they have recorded, and whether
// one of their records closes them (then they have ended and their lock need not be tested).
// With `before`, only the runs recorded before that run's first record; `found` says whether that
// record was there.
struct Seen {
    std::uint32_t run;
    std::optional<long> runner;
    bool closed = false;
};
std::vector<Seen> runs_recorded(std::string_view text, std::optional<std::uint32_t> before, bool& found) {
    std::vector<Seen> order;
    std::map<std::uint32_t, std::size_t> places;
    found = false;
    for_each_record_line(text, [&](std::string_view line) {
        const auto outcome = read_outcome(line);
        if (!outcome || found || (found = outcome->run == before)) return;
        const auto [place, first] = places.try_emplace(outcome->run, order.size());
        if (first) order.push_back({outcome->run, std::nullopt});
        Seen& seen = order[place->second];
        // The first action's record lacks the runner when it could not start: a later one has it.
        if (!seen.runner) seen.runner = outcome->runner;
        seen.closed = seen.closed || outcome->closed;
    });
    return order;
}

void add_live_runs(UniqueFd records, std::vector<LiveRun>& runs, std::optional<std::uint32_t> before = std::nullopt,
                   off_t tail = 0) {
    if (!records) return;
    auto shared = std::make_shared<UniqueFd>(std::move(records));
    const int fd = shared->get();
    // Only the newest records are read: `tail` bytes (from a line's start), widened while they
    // hold no whole record or not yet the record of the run `before`, up to largest_records_read.
    // A run recorded earlier than that has seen that many bytes of later records written while it
    // lives: not a run any policy but Parallel leaves, and one that no reader looks that far for.
    std::size_t window = tail > 0 ? static_cast<std::size_t>(tail) : largest_records_read;
    std::vector<Seen> order;
    while (true) {
        struct stat status {};
        if (fstat(fd, &status) != 0) return;
        const bool whole = static_cast<std::uintmax_t>(status.st_size) <= window;
        const auto text = read_open_file_tail(fd, window);
        if (!text) return;
        bool found = false;
        order = runs_recorded(*text, before, found);
        const bool enough = !text->empty() && (!before || found);
        if (whole || enough || window >= largest_records_read) break;
        window = std::min(window * 8, largest_records_read);
    }
    // Any record of a run will do for its lock: between two actions none of them is pending.
    for (const Seen& seen : order)
        if (!seen.closed && seen.run != before && run_is_live(fd, seen.run)) runs.push_back({shared, seen.run, seen.runner});
}

// The records files of the whole library: every file named as a task's records are.
std::vector<LiveRun>* walked = nullptr;
int visit(const char* path, const struct stat*, int kind, struct FTW* where) {
    if (kind == FTW_F && std::string_view(path + where->base).starts_with("r."))
        add_live_runs(UniqueFd(open(path, O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC)), *walked);
    return 0;
}

constexpr auto poll_interval = std::chrono::milliseconds(5);

// Signals the runs' process groups, only while their runner holds the run's lock (so the group
// is still the runner's).
void signal_runs(const std::vector<LiveRun>& runs, int signal) {
    for (const LiveRun& run : runs)
        if (run.runner && *run.runner > 1 && is_live(run)) killpg(static_cast<pid_t>(*run.runner), signal);
}

}  // namespace

std::vector<LiveRun> live_runs_in(const UniqueFd& records, std::optional<std::uint32_t> before, off_t tail) {
    std::vector<LiveRun> runs;
    if (records) add_live_runs(UniqueFd(fcntl(records.get(), F_DUPFD_CLOEXEC, 0)), runs, before, tail);
    return runs;
}

std::vector<LiveRun> live_runs(const std::string& library, const ResolvedTaskPath* path,
                               std::optional<std::uint32_t> before, off_t tail) {
    std::vector<LiveRun> runs;
    if (path) {
        add_live_runs(open_task_runs(library, *path), runs, before, tail);
        return runs;
    }
    static std::mutex walking;  // nftw takes no context: one walk at a time
    const std::lock_guard guard(walking);
    walked = &runs;
    nftw(library.c_str(), visit, 16, FTW_PHYS);
    walked = nullptr;
    return runs;
}

bool is_live(const LiveRun& run) noexcept { return run_is_live(run.records->get(), run.run); }

long wait_for_runs(std::vector<LiveRun>& runs, double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (true) {
        std::erase_if(runs, [](const LiveRun& run) { return !is_live(run); });
        if (runs.empty() || std::chrono::steady_clock::now() >= deadline) return static_cast<long>(runs.size());
        std::this_thread::sleep_for(poll_interval);
    }
}

long end_live_runs(const std::function<std::vector<LiveRun>()>& collect, double seconds) {
    // A runner that has not yet recorded its group is about to: give it a moment.
    std::vector<LiveRun> runs = collect();
    for (int tries = 0; tries < 200 && std::ranges::any_of(runs, [](const auto& run) { return !run.runner; }); ++tries) {
        std::this_thread::sleep_for(poll_interval);
        runs = collect();
    }
    signal_runs(runs, SIGTERM);
    if (wait_for_runs(runs, seconds) == 0) return 0;
    signal_runs(runs, SIGKILL);  // its actions end with it (action_process.hpp)
    return wait_for_runs(runs, 1.0);
}

}  // namespace winemu
