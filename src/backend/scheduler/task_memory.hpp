// task_memory.hpp: UniqueTaskMemory, the owner of a block that a call handed over to be given
// back with CoTaskMemFree.
#pragma once

#include "owners/unique_handle.hpp"
#include "scheduler/platform.hpp"

namespace morvane::scheduler {

template <class T>
using UniqueTaskMemory = UniqueHandle<T*, &CoTaskMemFree>;

}  // namespace morvane::scheduler
