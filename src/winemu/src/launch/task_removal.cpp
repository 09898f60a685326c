// task_removal.cpp: deleting a task ends its runs with it.
#include "launch/task_removal.hpp"

#include "launch/live_runs.hpp"
#include "library/task_store.hpp"

namespace winemu {
namespace {

// As long as StopExisting gives the runs it stops.
constexpr double grace_seconds = 5;

}  // namespace

HRESULT remove_task_ending_runs(const std::string& library, const ResolvedTaskPath& path) {
    UniqueFd records;
    const HRESULT removed = remove_task(library, path, &records);
    // The file is gone from the library, but its runs' locks and records live on in it.
    if (SUCCEEDED(removed) && records) end_live_runs([&] { return live_runs_in(records); }, grace_seconds);
    return removed;
}

}  // namespace winemu
