// run_control.cpp: the control API over runs: their records, waiting for them, ending them.
#include <charconv>

#include <winemu/control.h>

#include "base/utf.hpp"
#include "control/control_text.hpp"
#include "launch/live_runs.hpp"
#include "launch/run_lock.hpp"
#include "launch/run_records.hpp"
#include "launch/task_state.hpp"
#include "library/task_library.hpp"
#include "library/task_names.hpp"
#include "library/task_paths.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

std::optional<ResolvedTaskPath> task_path(const char* task_name) {
    const auto name = utf16_from_utf8(task_name);
    if (!name || name->empty()) return std::nullopt;
    auto path = resolve_task_path(*name, {});
    if (!path.ok() || path.value().empty()) return std::nullopt;
    return ResolvedTaskPath(std::move(path.value()));
}

template <typename Body>
long over_runs(const char* task_name, Body body) {
    try {
        std::optional<ResolvedTaskPath> path;
        if (task_name && !(path = task_path(task_name))) return -1;
        const std::string library = task_library();
        return body([&] { return live_runs(library, path ? &*path : nullptr); });
    } catch (...) {
        return -1;
    }
}

}  // namespace
}  // namespace winemu

extern "C" WINEMU_API size_t winemu_runs(const char* task_name, char* buffer, size_t capacity) {
    constexpr size_t invalid = static_cast<size_t>(-1);
    if (!task_name) return invalid;
    try {
        const auto path = winemu::task_path(task_name);
        if (!path) return invalid;
        const std::string library = winemu::task_library();
        // Opened before the records are read: a run that ends in between reads as ended.
        const winemu::UniqueFd records = winemu::open_task_runs(library, *path);
        const std::string lines = winemu::read_task_runs(library, *path);
        return winemu::copy_text_out(
            winemu::run_records_json(
                lines, [&](std::uint32_t run) { return !records || winemu::run_is_live(records.get(), run); }),
            buffer, capacity);
    } catch (...) {
        return invalid;  // out of memory: nothing can be reported
    }
}

extern "C" WINEMU_API long winemu_wait_runs(const char* task_name, double seconds) {
    return winemu::over_runs(task_name, [&](auto collect) {
        std::vector<winemu::LiveRun> runs = collect();
        return winemu::wait_for_runs(runs, seconds);
    });
}

extern "C" WINEMU_API long winemu_end_runs(const char* task_name, double seconds) {
    return winemu::over_runs(task_name, [&](auto collect) { return winemu::end_live_runs(collect, seconds); });
}

extern "C" WINEMU_API size_t winemu_task_state(const char* task_name, char* buffer, size_t capacity) {
    constexpr size_t invalid = static_cast<size_t>(-1);
    if (!task_name) return invalid;
    try {
        const auto path = winemu::task_path(task_name);
        if (!path) return invalid;
        const winemu::TaskRunState state = winemu::task_run_state(winemu::task_library(), *path);
        const auto number = [](auto value) { return value ? std::to_string(*value) : std::string("null"); };
        // to_chars: a host's locale may use a decimal comma.
        char time[64] = "null";
        if (state.last_run_time) *std::to_chars(time, time + sizeof time - 1, *state.last_run_time).ptr = '\0';
        std::string json = "{\"last_run_time\": " + std::string(time);
        json += ", \"last_result\": " + std::to_string(static_cast<std::uint32_t>(state.last_result));
        json += ", \"damaged\": " + std::string(state.damaged ? "true" : "false") + ", \"instances\": [";
        for (std::size_t i = 0; i < state.instances.size(); ++i) {
            const auto& instance = state.instances[i];
            json += std::string(i ? ", " : "") + "{\"run\": " + std::to_string(instance.run) +
                    ", \"runner\": " + number(instance.runner) + ", \"action\": " + instance.action_json +
                    ", \"pid\": " + number(instance.pid) + ", \"state\": \"" + instance.state + "\"}";
        }
        return winemu::copy_text_out(json + "]}", buffer, capacity);
    } catch (...) {
        return invalid;
    }
}
