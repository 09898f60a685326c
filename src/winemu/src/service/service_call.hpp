// service_call.hpp: how each call into the task service begins.
//
// Every method of a service object (but those of IUnknown and IDispatch) opens a ServiceCall and
// returns through one of the frames below, which refuse first what the object may not take: a
// call from an apartment other than the object's, then a call after the service went away since
// the object was made (winemu_disconnect_service), answered as a proxy of an ended server does.
#pragma once

#include <optional>
#include <string_view>
#include <utility>

#include <winemu/types.h>

#include "com/com_guard.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"
#include "service/latency.hpp"

namespace winemu {

// The PlatformCall of a method of a service object (a ServiceObject): its refusal also holds the
// disconnection of the service the object was made under.
class ServiceCall : public PlatformCall {
public:
    template <typename Object>
    ServiceCall(std::string_view name, const Object& object) noexcept
        : PlatformCall(name, object.identity(), ErrorInfoUse::discards), disconnection_(object.disconnection()) {}

    std::optional<HRESULT> refusal() const noexcept {
        if (const auto refused = PlatformCall::refusal()) return refused;
        return disconnection_;
    }

private:
    const std::optional<HRESULT> disconnection_;
};

// Presets the out pointer (when there is one) to null, takes a fault queued for the call, then
// waits the configured latency, as a call into the real service would. Gives the HRESULT to
// return at once (a fault, or E_POINTER when `out` is required and null), else nothing. A fault
// with a success code other than S_OK lets the call do its work; the method's PlatformCall
// returns that code.
template <typename T>
std::optional<HRESULT> enter_service_call(const char* call, T** out, bool out_required = true) noexcept {
    if (out) *out = nullptr;
    if (const auto fault = enter_call(call, SuccessFault::does_the_work)) return fault;
    apply_service_latency();
    if (out_required && !out) return E_POINTER;
    return std::nullopt;
}

// The same for a call that hands nothing out: a fault of "success without an object" has no
// object to withhold, so the call goes on as usual.
inline std::optional<HRESULT> enter_service_call(const char* call) noexcept {
    if (const auto fault = enter_call(call, SuccessFault::does_the_work); fault && *fault != S_OK) return fault;
    apply_service_latency();
    return std::nullopt;
}

// The frame of a service method that hands an object out: a call the object may not take (from
// another apartment, or after a disconnection) is refused, then the call begins as
// enter_service_call says, then `work` runs; the object handed out, if any, goes into the journal
// with the result.
template <typename T, typename Work>
HRESULT hand_out_from_service(ServiceCall& call, const char* call_name, std::string_view out_name, T** out,
                              Work&& work, bool out_required = true) {
    const HRESULT result = [&]() -> HRESULT {
        if (const auto refused = call.refusal()) {
            if (out) *out = nullptr;
            return *refused;
        }
        if (const auto early = enter_service_call(call_name, out, out_required)) return *early;
        return work();
    }();
    call.object(out_name, out ? *out : nullptr);
    return call.returns(result);
}

// The frame of a service method that hands no object out (a property, a change, Stop): refused
// from another apartment or after a disconnection, then a fault and the latency, then `work`,
// guarded.
template <typename Work>
HRESULT ask_service(ServiceCall& call, const char* call_name, Work&& work) {
    if (const auto refused = call.refusal()) return call.returns(*refused);
    if (const auto early = enter_service_call(call_name)) return call.returns(*early);
    return call.returns(guarded(std::forward<Work>(work)));
}

// The frame of a method that an object answers from what it holds, without the service: checked,
// refused and journaled as every call is, and a fault queued for it taken, but no latency.
template <typename Work>
HRESULT answer_locally(ServiceCall& call, const char* call_name, Work&& work) {
    if (const auto refused = call.refusal()) return call.returns(*refused);
    if (const auto fault = enter_call(call_name, SuccessFault::does_the_work)) return call.returns(*fault);
    return call.returns(guarded(std::forward<Work>(work)));
}

}  // namespace winemu
