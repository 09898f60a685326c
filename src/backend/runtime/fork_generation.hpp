// fork_generation.hpp: how many fork() calls separate this process from the one that loaded the
// library, so that state copied into a child can be told from the child's own.
#pragma once

#include <cstdint>

namespace morvane {

// 0 in the process that loaded the library; one more in each child of a fork(), counted before
// fork() returns there. Windows has no fork and stays at 0. Wraps around after 2^32 generations.
std::uint32_t fork_generation() noexcept;

}  // namespace morvane
