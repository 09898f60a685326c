// faults.cpp: one-shot fault injection and call counting for the platform functions.
#include "control/faults.hpp"

#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include <winemu/control.h>

#include "com/error_objects.hpp"
#include "control/platform_call.hpp"
#include "com/system_messages.hpp"
#include "com/utf.hpp"

namespace winemu {
namespace {

struct Fault {
    std::string call;
    unsigned skip;  // calls of that name still to let through
    HRESULT hresult;
    std::optional<std::u16string> description;
    std::optional<std::u16string> plain_description;
};

struct FaultBoard {
    std::mutex lock;
    std::deque<Fault> queue;                            // oldest first
    std::map<std::string, long long, std::less<>> calls;  // per call name, since the process started
};

FaultBoard& board() {
    // Never destroyed: threads still running at exit may make platform calls.
    static FaultBoard& instance = *new FaultBoard;
    return instance;
}

// Called with the board locked.
void count_locked(FaultBoard& faults, std::string_view call) {
    auto counter = faults.calls.find(call);
    if (counter == faults.calls.end()) counter = faults.calls.emplace(std::string(call), 0).first;
    ++counter->second;
}

std::optional<Fault> count_and_take_fault(std::string_view call) {
    FaultBoard& faults = board();
    const std::lock_guard guard(faults.lock);
    count_locked(faults, call);
    for (auto fault = faults.queue.begin(); fault != faults.queue.end(); ++fault) {
        if (fault->call != call) continue;
        // Only the oldest fault for the call counts this call down; later ones wait behind it.
        if (fault->skip > 0) {
            --fault->skip;
            return std::nullopt;
        }
        Fault taken = std::move(*fault);
        faults.queue.erase(fault);
        return taken;
    }
    return std::nullopt;
}

// The error object a fault asks for, left as the real failing call would leave it.
void leave_error_of(const Fault& fault) noexcept {
    if (fault.description) {
        leave_restricted_error(fault.hresult, system_message(static_cast<DWORD>(fault.hresult)), *fault.description);
    } else if (fault.plain_description) {
        leave_plain_error(*fault.plain_description);
    }
}

}  // namespace

std::optional<HRESULT> enter_call(std::string_view call, SuccessFault success) noexcept {
    try {
        const auto fault = count_and_take_fault(call);
        if (!fault) return std::nullopt;
        leave_error_of(*fault);
        if (success == SuccessFault::does_the_work && fault->hresult > 0) {
            defer_success_code(fault->hresult);
            return std::nullopt;
        }
        return fault->hresult;
    } catch (...) {
        // No memory (or no lock) for the bookkeeping: the call goes ahead as though no fault were queued.
        return std::nullopt;
    }
}

void count_call(std::string_view call) noexcept {
    try {
        FaultBoard& faults = board();
        const std::lock_guard guard(faults.lock);
        count_locked(faults, call);
    } catch (...) {
        // The count is lost; nothing else depends on it.
    }
}

}  // namespace winemu

extern "C" {

WINEMU_API void winemu_fail_next(const char* call, HRESULT hresult, const char* description,
                                 const char* plain_description) {
    winemu_fail_after(call, 0, hresult, description, plain_description);
}

WINEMU_API void winemu_fail_after(const char* call, unsigned skip, HRESULT hresult, const char* description,
                                  const char* plain_description) {
    if (!call) return;
    try {
        winemu::Fault fault{call, skip, hresult, winemu::utf16_from_optional_utf8(description),
                            winemu::utf16_from_optional_utf8(plain_description)};
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        faults.queue.push_back(std::move(fault));
    } catch (...) {
        // Nothing queued; the control API has no way to report it and tests see it as pending == 0.
    }
}

WINEMU_API void winemu_clear_faults(void) {
    try {
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        faults.queue.clear();
    } catch (...) {
        // No board could be made (out of memory): no fault was ever queued.
    }
}

WINEMU_API size_t winemu_pending_faults(void) {
    try {
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        return faults.queue.size();
    } catch (...) {
        return 0;  // no board: nothing queued
    }
}

WINEMU_API long long winemu_call_count(const char* call) {
    if (!call) return 0;
    try {
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        const auto counter = faults.calls.find(std::string_view(call));
        return counter == faults.calls.end() ? 0 : counter->second;
    } catch (...) {
        return 0;  // no board: no call could be counted
    }
}

}  // extern "C"
