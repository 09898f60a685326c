// run_lock.hpp: a run is live exactly while its runner holds the run's lock.
#pragma once

/* === Why a lock and not a state field ===
 * A runner killed with SIGKILL writes nothing more, so a record that says "running" cannot be
 * trusted on its own. Each run has a lock: an open-file-description lock (F_OFD_SETLK) on one
 * byte of the task's records file, at an offset past any real record chosen by the run's number.
 * The caller of RunEx takes it before the runner exists and the runner inherits the descriptor,
 * so the run is never unlocked while it lives; the kernel drops the lock when the last process
 * holding the descriptor ends, however it ends. Readers test the lock: a pending record whose run
 * is not locked belongs to a runner that died. The actions never hold the descriptor. */

#include <cstdint>

namespace winemu {

// Takes the run's lock on the records file open for writing at `fd`; false with errno set.
bool lock_run(int fd, std::uint32_t run) noexcept;

// Whether a runner holds the run's lock (any descriptor of the records file will do).
bool run_is_live(int fd, std::uint32_t run) noexcept;

// Whether any run of the records file is live: one question, whatever the records hold.
bool any_run_live(int fd) noexcept;

}  // namespace winemu
