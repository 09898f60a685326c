// child_reaper.hpp: one thread that reaps every process the tasks started.
#pragma once

/* === Why one thread over pidfds ===
 * A thread per running child makes the thread count grow with the number of running tasks, and
 * where no thread can be had the child stays a zombie. Here one thread waits on a descriptor per
 * child (pidfd_open, Linux 5.3 and later), reaps each child as it ends, and then runs what was to
 * follow it (the next action of the same run). A child without a descriptor (none left, or a
 * kernel without pidfds) is polled every tenth of a second instead, so no child is ever left
 * unreaped. The thread is made once per process, on first use; a process made by fork() makes
 * its own. The host's SIGCHLD handling is left alone. */

#include <sys/types.h>

#include <functional>
#include <list>

#include "library/unique_fd.hpp"

namespace winemu {

// A child to reap and what to do once it has been reaped (on the reaper's thread).
struct ChildWatch {
    pid_t pid = 0;
    UniqueFd pidfd;
    std::function<void()> ended;
};
// One watch in a list of its own, made before the child is started, so that handing it over
// allocates nothing.
using ChildWatchNode = std::list<ChildWatch>;

// Whether the reaper's thread runs, made now when it does not; false when no thread could be made
// (then nothing should be started).
bool reaper_ready() noexcept;

// Hands a started child (node.front().pid set) to the reaper.
void reap_child(ChildWatchNode& node) noexcept;

// How many children the reaper is waiting for (for tests).
std::size_t children_being_reaped() noexcept;

}  // namespace winemu
