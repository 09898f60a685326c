// latency.cpp: the delay that stands in for the cost of a call into the real service.
#include "service/latency.hpp"

#include <atomic>
#include <chrono>
#include <thread>

#include <winemu/control.h>

namespace winemu {
namespace {

std::atomic<double> service_latency{0.0};
std::atomic<unsigned long long> waits{0};

}  // namespace

void set_service_latency(double seconds) noexcept {
    // Negative and NaN switch the delay off; the cap keeps the conversion to clock ticks in range.
    constexpr double longest = 24 * 60 * 60;
    if (!(seconds > 0.0)) seconds = 0.0;
    service_latency.store(seconds < longest ? seconds : longest);
}

void apply_service_latency() noexcept { wait_latency(service_latency.load()); }

void wait_latency(double seconds) noexcept {
    if (seconds <= 0.0) return;
    waits.fetch_add(1, std::memory_order_relaxed);
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
}

}  // namespace winemu

extern "C" WINEMU_API void winemu_set_latency(double seconds) { winemu::set_service_latency(seconds); }

extern "C" WINEMU_API unsigned long long winemu_latency_waits(void) { return winemu::waits.load(); }
