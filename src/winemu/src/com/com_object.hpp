// com_object.hpp: what every COM object of winemu shares: its reference count and its QueryInterface answer.
#pragma once

#include <atomic>

#include <winemu/com.h>

#include "com/live_objects.hpp"

namespace winemu {

// The reference count of one COM object. It starts at 1, the reference its creator hands out, and
// counts the object in outstanding() for as long as it lives. The object deletes itself when
// release() returns 0.
class ReferenceCount {
public:
    ReferenceCount() noexcept = default;
    ReferenceCount(const ReferenceCount&) = delete;
    ReferenceCount& operator=(const ReferenceCount&) = delete;

    ULONG add() noexcept { return count_.fetch_add(1, std::memory_order_relaxed) + 1; }
    // Acquire-release: the thread that drops the last reference, and so deletes the object, sees
    // everything the other threads did with it before they let go.
    ULONG release() noexcept { return count_.fetch_sub(1, std::memory_order_acq_rel) - 1; }

private:
    std::atomic<ULONG> count_{1};
    LiveObject live_;
};

// Completes QueryInterface once the object has chosen the interface it offers for the IID (null
// when it offers none): E_POINTER without an out pointer; else *out is the interface with a new
// reference (S_OK), or null (E_NOINTERFACE).
inline HRESULT answer_query(IUnknown* offered, void** out) noexcept {
    if (!out) return E_POINTER;
    *out = offered;
    if (!offered) return E_NOINTERFACE;
    offered->AddRef();
    return S_OK;
}

}  // namespace winemu
