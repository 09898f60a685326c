// task_run.cpp: one run of a task, handed by RunEx to the service's runner.
#include "launch/task_run.hpp"

#include <sys/random.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>

#include "base/utf.hpp"
#include "com/guid_text.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_lock.hpp"
#include "launch/run_order.hpp"
#include "launch/run_records.hpp"
#include "launch/runner_spawn.hpp"
#include "launch/task_launch.hpp"
#include "library/task_limits.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

// How long stopped runs have to record their end before they are killed.
constexpr double stop_grace_seconds = 5;

// A number for the run: its lock's place among the task's, so unlikely to be another run's.
std::uint32_t new_run_number() noexcept {
    std::uint32_t number = 0;
    if (getrandom(&number, sizeof number, GRND_NONBLOCK) == sizeof number) return number;
    const auto now = std::chrono::steady_clock::now().time_since_epoch().count();
    return static_cast<std::uint32_t>(now) ^ static_cast<std::uint32_t>(getpid());
}

// The first record says why the run did not start; nothing may throw past the record's writing.
void record_refusal(AppendedText& outcome, RunRecord& record, int error) noexcept {
    try {
        record.state = ActionState::not_started;
        record.last = true;
        record.error = "the service could not start the run: " + error_text(error);
        overwrite_appended(outcome, run_record_outcome(record));
    } catch (...) {
    }
}

}  // namespace

HResultOr<std::optional<StartedRun>> start_task_run(const std::string& library, const ResolvedTaskPath& path,
                                                    std::vector<ExecAction> actions, const RunSettings& settings,
                                                    std::string account) {
    using Result = HResultOr<std::optional<StartedRun>>;
    if (actions.empty()) return std::optional<StartedRun>();
    trim_task_runs(library, path, records_trimmed_at, records_kept, any_run_live);
    RunOrder order{library,        utf8_from_utf16_lossy(display_path(path.elements)),
                   new_run_number(), utf8_from_utf16_lossy(new_guid_text()),
                   std::move(account), 0, false,
                   settings.time_limit, {}};
    if (settings.instances != InstancesPolicy::parallel &&
        !live_runs(library, &path, std::nullopt, recent_records).empty()) {
        if (settings.instances == InstancesPolicy::ignore_new) return std::optional<StartedRun>();
        if (settings.instances == InstancesPolicy::queue) order.queued = true;
        if (settings.instances == InstancesPolicy::stop_existing)
            end_live_runs([&] { return live_runs(library, &path); }, stop_grace_seconds);
    }
    PreparedLaunch first = prepare_launch(actions.front());
    RunRecord& record = first.record;
    record.run = order.run;
    record.instance = order.instance;
    record.account = order.account;
    // An action that cannot start ends its run there, as on Windows: its failure is the run's
    // result, and no later action starts.
    const bool cannot_start = record.error.has_value();
    record.last = actions.size() == 1 || cannot_start;
    if (order.queued && !cannot_start) record.state = ActionState::queued;
    const std::string line = run_record_line(record);
    // Locked before the runner exists, so that the run is never seen without its runner, and
    // before the records can be trimmed, so that the lock is on the file that holds the record.
    bool locked = false;
    int lock_error = 0;
    auto appended = append_task_runs(library, path, line, -1, [&](int records) {
        if (cannot_start) return;
        locked = lock_run(records, order.run);
        lock_error = errno;
    });
    if (!appended.ok()) return Result::failure(appended.error());
    if (cannot_start) return std::optional<StartedRun>();
    AppendedText& outcome = appended.value();
    outcome.offset += static_cast<off_t>(outcome_offset(line));
    order.first_record = outcome.offset;
    order.actions = std::move(actions);
    if (!locked) {
        record_refusal(outcome, record, lock_error);
        return std::optional<StartedRun>();
    }
    const long engine = spawn_runner(outcome.file.get(), run_order_arguments(order));
    if (engine < 0) {
        record_refusal(outcome, record, static_cast<int>(-engine));
        return std::optional<StartedRun>();
    }
    return std::optional<StartedRun>(StartedRun{engine, record.argv.front(), order.instance, order.run, order.queued});
}

}  // namespace winemu
