// fork_generation.cpp: the fork generation, advanced in every child by a pthread_atfork handler.
#include "runtime/fork_generation.hpp"

#include <atomic>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace morvane {
namespace {

std::atomic<std::uint32_t> generation{0};

#if !defined(_WIN32)
// Runs in the child of every fork(), on its only thread, before fork() returns there.
void enter_child_generation() noexcept { generation.fetch_add(1, std::memory_order_relaxed); }

// Registered when the library is loaded, so before any state exists that a fork could copy.
[[maybe_unused]] const int fork_handler_registered = pthread_atfork(nullptr, nullptr, enter_child_generation);
#endif

}  // namespace

std::uint32_t fork_generation() noexcept { return generation.load(std::memory_order_relaxed); }

}  // namespace morvane
