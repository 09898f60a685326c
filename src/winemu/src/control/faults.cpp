// faults.cpp: one-shot fault injection and call counting for the platform functions.
//
// Both are on the path of every platform call, and neither takes a lock there: a call is counted
// in the calling thread's tallies (thread_tallies.hpp), and the fault queue is only locked and
// searched while it holds something.
#include "control/faults.hpp"

#include <atomic>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <new>
#include <string>

#include <winemu/control.h>

#include "base/com_runtime.hpp"
#include "base/utf.hpp"
#include "control/control_text.hpp"
#include "control/platform_call.hpp"
#include "control/thread_tallies.hpp"

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
    std::deque<Fault> queue;  // oldest first
    // Per call name, for the names beyond the call tallies (more names than call_tally_count).
    std::map<std::string, long long, std::less<>> overflow_calls;
};

FaultBoard& board() {
    // Never destroyed: threads still running at exit may make platform calls.
    static FaultBoard& instance = *new FaultBoard;
    return instance;
}

// The size of the queue, kept with it under its lock: a call that finds 0 takes no lock.
std::atomic<std::size_t> queued_faults{0};

// Called with the board locked, after the queue has changed.
void note_queue_size(const FaultBoard& faults) noexcept { queued_faults.store(faults.queue.size(), std::memory_order_release); }

// Which call tally counts each call name: a slot is taken for good by the first count of a name,
// found again through the name's hash, and read without a lock. Slots keep the callers' texts,
// which live as long as the process.
std::atomic<const char*> call_names[call_tally_count];

std::size_t name_hash(const char* name) noexcept {
    std::size_t hash = 14695981039346656037ull;  // FNV-1a
    for (; *name; ++name) hash = (hash ^ static_cast<unsigned char>(*name)) * 1099511628211ull;
    return hash;
}

// The tally of `call`; with `take`, a free slot is taken for a name that has none. Nothing when the
// name has no slot (all are taken by other names, or, without `take`, it was never counted).
std::optional<std::size_t> find_call_tally(const char* call, bool take) noexcept {
    const std::size_t start = name_hash(call) % call_tally_count;
    for (std::size_t probe = 0; probe < call_tally_count; ++probe) {
        const std::size_t slot = (start + probe) % call_tally_count;
        const char* named = call_names[slot].load(std::memory_order_acquire);
        if (!named) {
            if (!take) return std::nullopt;
            if (call_names[slot].compare_exchange_strong(named, call, std::memory_order_acq_rel)) return slot;
            // Another thread has just taken it; `named` is its name.
        }
        if (named == call || std::strcmp(named, call) == 0) return slot;
    }
    return std::nullopt;
}

// In front of the table, the slot last found for a text at each address (by the address's bits):
// the callers' texts are literals at fixed addresses, so a call's count checks one word of the
// table instead of hashing its name. A stale or colliding entry names another text and is found out.
constexpr std::size_t address_cache_size = 256;
std::atomic<std::uint8_t> slot_by_address[address_cache_size];
static_assert(call_tally_count <= 256, "a slot must fit the address cache");

std::optional<std::size_t> call_tally(const char* call, bool take) noexcept {
    std::atomic<std::uint8_t>& cached = slot_by_address[(reinterpret_cast<std::uintptr_t>(call) >> 3) % address_cache_size];
    std::size_t slot = cached.load(std::memory_order_relaxed);
    if (call_names[slot].load(std::memory_order_relaxed) != call) {
        const auto found = find_call_tally(call, take);
        if (!found) return std::nullopt;
        slot = *found;
        cached.store(static_cast<std::uint8_t>(slot), std::memory_order_relaxed);
    }
    return static_cast<std::size_t>(Tally::first_call) + slot;
}

void count(const char* call) {
    if (const auto tally = call_tally(call, true)) return add_to_tally(*tally, 1);
    FaultBoard& faults = board();
    const std::lock_guard guard(faults.lock);
    auto counter = faults.overflow_calls.find(std::string_view(call));
    if (counter == faults.overflow_calls.end()) counter = faults.overflow_calls.emplace(call, 0).first;
    ++counter->second;
}

std::optional<Fault> take_fault(const char* call) {
    if (queued_faults.load(std::memory_order_acquire) == 0) return std::nullopt;
    FaultBoard& faults = board();
    const std::lock_guard guard(faults.lock);
    for (auto fault = faults.queue.begin(); fault != faults.queue.end(); ++fault) {
        if (fault->call != call) continue;
        // Only the oldest fault for the call counts this call down; later ones wait behind it.
        if (fault->skip > 0) {
            --fault->skip;
            return std::nullopt;
        }
        Fault taken = std::move(*fault);
        faults.queue.erase(fault);
        note_queue_size(faults);
        return taken;
    }
    return std::nullopt;
}

// The error object a fault asks for, left as the real failing call would leave it.
void leave_error_of(const Fault& fault) noexcept {
    if (fault.description) {
        com_runtime().leave_restricted_error(fault.hresult, *fault.description);
    } else if (fault.plain_description) {
        com_runtime().leave_plain_error(*fault.plain_description);
    }
}

}  // namespace

std::optional<HRESULT> enter_call(const char* call, SuccessFault success) noexcept {
    try {
        count(call);
        const auto fault = take_fault(call);
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

void count_call(const char* call) noexcept {
    try {
        count(call);
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
        winemu::note_queue_size(faults);
    } catch (...) {
        // Nothing queued; the control API has no way to report it and tests see it as pending == 0.
    }
}

WINEMU_API void winemu_clear_faults(void) {
    try {
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        faults.queue.clear();
        winemu::note_queue_size(faults);
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

WINEMU_API size_t winemu_pending_fault_calls(char* buffer, size_t capacity) {
    try {
        std::string names;
        {
            winemu::FaultBoard& faults = winemu::board();
            const std::lock_guard guard(faults.lock);
            for (const winemu::Fault& fault : faults.queue) names += fault.call + "\n";
        }
        return winemu::copy_text_out(names, buffer, capacity);
    } catch (...) {
        return static_cast<size_t>(-1);
    }
}

WINEMU_API long long winemu_call_count(const char* call) {
    if (!call) return 0;
    try {
        if (const auto tally = winemu::call_tally(call, false)) return winemu::tally_sum(*tally);
        winemu::FaultBoard& faults = winemu::board();
        const std::lock_guard guard(faults.lock);
        const auto counter = faults.overflow_calls.find(std::string_view(call));
        return counter == faults.overflow_calls.end() ? 0 : counter->second;
    } catch (...) {
        return 0;  // no board: no call could be counted there
    }
}

}  // extern "C"
