// service_call.hpp: how each call into the task service begins.
//
// Every method of a service object (but those of IUnknown and IDispatch) opens a ServiceCall with
// its name and returns through one of its frames, which refuse first what the object may not
// take: a call from an apartment other than the object's, then a call after the service went
// away since the object was made (winemu_disconnect_service), answered as a proxy of an ended
// server does.
#pragma once

#include <memory>
#include <optional>
#include <string_view>
#include <utility>

#include <winemu/types.h>

#include "com/com_guard.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"
#include "library/computers.hpp"
#include "service/latency.hpp"

namespace winemu {

// The frame of a method of a service object (a ServiceObject), opened with the method's name
// once: a PlatformCall whose refusal also holds the disconnection of the service the object was
// made under, and whose frames below refuse first what the object may not take, then take a
// fault queued for the call, then (but for answers from what the object holds) wait the service's
// latency (the local one, or that of the other computer the object belongs to), then refuse a null out pointer with E_POINTER, as Wine's taskschd checks its out
// pointers before any work, then run the work, guarded (an exception escapes no method).
class ServiceCall : public PlatformCall {
public:
    template <typename Object>
    ServiceCall(const char* name, const Object& object) noexcept
        : PlatformCall(name, object.identity(), ErrorInfoUse::discards), name_(name),
          disconnection_(object.disconnection()), computer_(object.computer()) {}

    std::optional<HRESULT> refusal() const noexcept {
        if (const auto refused = PlatformCall::refusal()) return refused;
        return disconnection_;
    }

    // A method that hands an object out through `out` (set to null first): the object handed
    // out, if any, goes into the journal under `out_name` with the result. A fault with a success
    // code other than S_OK lets the work run, and the call returns that code; one of S_OK answers
    // success without an object. With `out_required` false a null `out` is allowed.
    template <typename T, typename Work>
    HRESULT hand_out(std::string_view out_name, T** out, Work&& work, bool out_required = true) {
        const HRESULT result = [&]() -> HRESULT {
            if (out) *out = nullptr;
            if (const auto refused = refusal()) return *refused;
            if (const auto fault = enter_call(name_, SuccessFault::does_the_work)) return *fault;
            wait_service_latency();
            if (out_required && !out) return E_POINTER;
            return guarded(std::forward<Work>(work));
        }();
        object(out_name, out ? *out : nullptr);
        return returns(result);
    }

    // A method that hands no object out (a property, a change, Stop): a fault of "success
    // without an object" has no object to withhold, so the call goes on as usual. Each of
    // `required` (the out pointers the method writes) must not be null.
    template <typename Work, typename... Out>
    HRESULT ask(Work&& work, Out*... required) {
        if (const auto refused = refusal()) return returns(*refused);
        if (const auto fault = enter_call(name_, SuccessFault::does_the_work); fault && *fault != S_OK)
            return returns(*fault);
        wait_service_latency();
        if ((!required || ...)) return returns(E_POINTER);
        return returns(guarded(std::forward<Work>(work)));
    }

    // A method that the object answers from what it holds, without the service: refused and
    // faulted as every call is, but no latency.
    template <typename Work, typename... Out>
    HRESULT answer_locally(Work&& work, Out*... required) {
        if (const auto refused = refusal()) return returns(*refused);
        if (const auto fault = enter_call(name_, SuccessFault::does_the_work)) return returns(*fault);
        if ((!required || ...)) return returns(E_POINTER);
        return returns(guarded(std::forward<Work>(work)));
    }

private:
    void wait_service_latency() const noexcept {
        if (computer_) {
            wait_latency(computer_->latency());
        } else {
            apply_service_latency();
        }
    }

    const char* const name_;
    const std::optional<HRESULT> disconnection_;
    const std::shared_ptr<const Computer> computer_;
};

}  // namespace winemu
