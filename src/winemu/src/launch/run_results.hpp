// run_results.hpp: the codes the service gives for runs: refusals, and a task's last result.
#pragma once

#include <winemu/types.h>

namespace winemu {

inline constexpr HRESULT SCHED_S_TASK_RUNNING = hresult_of(0x00041301u);      // an instance is running
inline constexpr HRESULT SCHED_S_TASK_HAS_NOT_RUN = hresult_of(0x00041303u);  // never run
inline constexpr HRESULT SCHED_S_TASK_TERMINATED = hresult_of(0x00041306u);   // stopped (or past its time limit)
inline constexpr HRESULT SCHED_E_TASK_DISABLED = hresult_of(0x80041326u);     // Run of a disabled task
// A run whose runner died before its end was recorded: "The process terminated unexpectedly."
inline constexpr HRESULT run_lost = hresult_of(0x8007042Bu);  // HRESULT_FROM_WIN32(ERROR_PROCESS_ABORTED)
// The newest run's record holds no exit code a process can have: "The file or directory is
// corrupted and unreadable." (HRESULT_FROM_WIN32(ERROR_FILE_CORRUPT)), never a success.
inline constexpr HRESULT records_damaged = hresult_of(0x80070570u);

}  // namespace winemu
