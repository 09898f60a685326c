// task_library.hpp: where the task library lives (the directory that holds every task).
#pragma once

#include <string>

namespace winemu {

// The library's directory: set by winemu_set_task_library, else $MORVANE_TASK_LIBRARY, else
// $XDG_STATE_HOME/morvane/tasks, else $HOME/.local/state/morvane/tasks. Never ends in '/'.
std::string task_library();

// Creates the directory and its parents when missing; false when that fails.
bool ensure_directories(const std::string& directory);

}  // namespace winemu
