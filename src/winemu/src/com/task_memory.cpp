// task_memory.cpp: CoTaskMemAlloc and CoTaskMemFree, the allocator of memory that a call hands to
// its caller (GetRunTimes' array of times). Counted as outstanding buffers until freed.
#include <cstdlib>
#include <optional>

#include <winemu/com.h>

#include "com/live_objects.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"

extern "C" {

WINEMU_API LPVOID CoTaskMemAlloc(SIZE_T cb) {
    winemu::PlatformCall call("CoTaskMemAlloc", winemu::ErrorInfoUse::keeps);
    call.number("bytes", static_cast<long long>(cb));
    // An allocator: any queued fault makes it return null.
    if (winemu::enter_call("CoTaskMemAlloc")) {
        call.result(0);
        return nullptr;
    }
    void* block = std::malloc(cb == 0 ? 1 : cb);  // Windows hands out a block for zero bytes too
    if (block) winemu::count_live(winemu::Tally::buffers, 1);
    call.result(block ? 1 : 0);
    return block;
}

WINEMU_API void CoTaskMemFree(LPVOID pv) {
    winemu::PlatformCall call("CoTaskMemFree", winemu::ErrorInfoUse::keeps);
    if (!pv) return;
    std::free(pv);
    winemu::count_live(winemu::Tally::buffers, -1);
}

}  // extern "C"
