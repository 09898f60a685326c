// runner_spawn.hpp: starting the service's runner for one run, detached from the caller.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace winemu {

/* === How a run leaves the caller ===
 * The runner is a small program installed beside libwinemu (winemu-runner), found through the
 * path this library was loaded from, so the build tree, an installed package and a repaired
 * wheel all work alike. It is started with posix_spawn (no shell) in a session of its own, its
 * standard streams on /dev/null and no descriptor of the caller but the run's records file (which
 * carries the run's lock) as descriptor 3. It forks at once and its first process exits, which
 * a short-lived thread of the caller reaps (init does, if the caller has ended): the process
 * left over, which loads libwinemu and runs the actions, is
 * no child of the caller (nothing for it to reap or to wait for), in no process group or session
 * of the caller's (a Ctrl-C at the caller's terminal does not reach it), and lives on whatever
 * becomes of the caller. Its process group, numbered as the spawned process was, holds the
 * actions too, so that it can be stopped as one. */

// Spawns the runner with `arguments` after its own two, without waiting for it: the runner's
// process group, or minus the errno of what failed. (A first process that cannot fork leaves the
// run unlocked: its pending record reads as lost.)
long spawn_runner(int records_fd, const std::vector<std::string>& arguments) noexcept;

}  // namespace winemu
