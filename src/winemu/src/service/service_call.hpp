// service_call.hpp: how each call into the task service begins.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/types.h>

#include "control/faults.hpp"
#include "service/latency.hpp"

namespace winemu {

// A fault with a success code other than S_OK lets the call do its work; the method's
// PlatformCall returns the code. Presets the out pointer (when there is one) to null, takes a fault queued for the call, then
// waits the configured latency, as a call into the real service would. Gives the HRESULT to
// return at once (a fault, or E_POINTER when `out` is required and null), else nothing.
template <typename T>
std::optional<HRESULT> enter_service_call(std::string_view call, T** out, bool out_required = true) noexcept {
    if (out) *out = nullptr;
    if (const auto fault = enter_call(call, SuccessFault::does_the_work)) return fault;
    apply_service_latency();
    if (out_required && !out) return E_POINTER;
    return std::nullopt;
}

// The same for a call that hands nothing out: a fault of "success without an object" has no
// object to withhold, so the call goes on as usual.
inline std::optional<HRESULT> enter_service_call(std::string_view call) noexcept {
    if (const auto fault = enter_call(call, SuccessFault::does_the_work); fault && *fault != S_OK) return fault;
    apply_service_latency();
    return std::nullopt;
}

}  // namespace winemu
