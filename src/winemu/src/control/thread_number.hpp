// thread_number.hpp: a small number for each thread, to name threads in the journal and in homes.
#pragma once

#include <atomic>

namespace winemu {

// 1 for the first thread that asks, then 2, 3, ...; never reused while the process lives.
inline unsigned long long thread_number() noexcept {
    static std::atomic<unsigned long long> last{0};
    thread_local const unsigned long long number = last.fetch_add(1, std::memory_order_relaxed) + 1;
    return number;
}

}  // namespace winemu
