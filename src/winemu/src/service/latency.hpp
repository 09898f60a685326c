// latency.hpp: the delay that stands in for the cost of a call into the real service.
#pragma once

namespace winemu {

void set_service_latency(double seconds) noexcept;

// Sleeps for the configured latency; called once at the start of each call into the service.
void apply_service_latency() noexcept;

// Sleeps for `seconds` (nothing for 0): the latency of another computer's service.
void wait_latency(double seconds) noexcept;

}  // namespace winemu
