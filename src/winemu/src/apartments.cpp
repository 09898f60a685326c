// apartments.cpp: COM apartments per thread, counted as COM counts them.
//
// Each thread keeps its model and the number of successful CoInitializeEx calls not yet balanced
// by CoUninitialize. The first call enters (S_OK), each repeat in the same model is counted too
// (S_FALSE), a call in the other model is refused (RPC_E_CHANGED_MODE) and not counted.
// A thread that ends without balancing its entries has them left for it when it exits, as Wine's
// COM does on thread detach, so the process-wide count stays the sum over live threads.
#include "apartments.hpp"

#include <winemu/com.h>
#include <winemu/control.h>

#include "faults.hpp"
#include "live_objects.hpp"

namespace winemu {
namespace {

// Bits that may accompany the model: COINIT_DISABLE_OLE1DDE and COINIT_SPEED_OVER_MEMORY.
constexpr DWORD optional_coinit_bits = 0x4 | 0x8;
constexpr DWORD model_bit = COINIT_APARTMENTTHREADED;

struct ThreadApartment {
    DWORD model = COINIT_MULTITHREADED;
    long long entries = 0;

    ThreadApartment() = default;
    ThreadApartment(const ThreadApartment&) = delete;
    ThreadApartment& operator=(const ThreadApartment&) = delete;
    ~ThreadApartment() { live_counts().apartments.fetch_sub(entries, std::memory_order_relaxed); }
};

thread_local ThreadApartment this_thread_apartment;

HRESULT enter_apartment(DWORD model) noexcept {
    ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries > 0 && apartment.model != model) return RPC_E_CHANGED_MODE;
    const HRESULT result = apartment.entries == 0 ? S_OK : S_FALSE;
    apartment.model = model;
    ++apartment.entries;
    live_counts().apartments.fetch_add(1, std::memory_order_relaxed);
    return result;
}

void leave_apartment() noexcept {
    ThreadApartment& apartment = this_thread_apartment;
    if (apartment.entries == 0) return;
    --apartment.entries;
    live_counts().apartments.fetch_sub(1, std::memory_order_relaxed);
}

}  // namespace

bool thread_in_apartment() noexcept { return this_thread_apartment.entries > 0; }

}  // namespace winemu

extern "C" {

WINEMU_API HRESULT CoInitializeEx(LPVOID pvReserved, DWORD dwCoInit) {
    // A fault is returned as it stands: the thread's apartment does not change.
    if (const auto fault = winemu::enter_call("CoInitializeEx")) return *fault;
    if (pvReserved) return E_INVALIDARG;
    if ((dwCoInit & ~(winemu::model_bit | winemu::optional_coinit_bits)) != 0) return E_INVALIDARG;
    return winemu::enter_apartment(dwCoInit & winemu::model_bit);
}

WINEMU_API void CoUninitialize() {
    winemu::count_call("CoUninitialize");
    winemu::leave_apartment();
}

// The control API's own entries are neither counted nor faulted, so tests can set a thread up
// without disturbing the counts of the code under test.
WINEMU_API HRESULT winemu_enter_apartment(int multithreaded) {
    return winemu::enter_apartment(multithreaded ? COINIT_MULTITHREADED : COINIT_APARTMENTTHREADED);
}

WINEMU_API void winemu_leave_apartment(void) { winemu::leave_apartment(); }

}  // extern "C"
