// thread_exit.cpp: park_exiting_thread, the end of a thread that the interpreter's exit ends.
#include "module/thread_exit.hpp"

#include <chrono>
#include <thread>

namespace morvane::module {

void park_exiting_thread() noexcept {
    // Sleeping in a loop, not waiting on anything: nothing will ever wake this thread, and a
    // signal that interrupts a sleep only starts the next one.
    for (;;) std::this_thread::sleep_for(std::chrono::hours(24));
}

}  // namespace morvane::module
