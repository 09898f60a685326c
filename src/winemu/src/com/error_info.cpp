// error_info.cpp: the thread's current error object: GetErrorInfo, SetErrorInfo and leaving new ones.
//
// The error object belongs to the thread, not to its apartment: it stays until it is taken
// (GetErrorInfo), replaced (SetErrorInfo or a newer failure) or the thread ends, whether or not the
// thread is inside an apartment, as in Wine's COM. Leaving the last apartment does not drop it.
#include <new>

#include <winemu/control.h>

#include "com/error_object.hpp"
#include "com/error_objects.hpp"
#include "control/faults.hpp"
#include "control/platform_call.hpp"
#include "base/utf.hpp"

namespace winemu {
namespace {

// Released by the thread's own exit, so an untaken object is not a leak of the thread. That
// release is winemu's own, not the program's: it is neither checked nor journaled.
struct ThreadErrorSlot {
    ComPtr<IErrorInfo> object;
    ThreadErrorSlot() = default;
    ThreadErrorSlot(const ThreadErrorSlot&) = delete;
    ThreadErrorSlot& operator=(const ThreadErrorSlot&) = delete;
    ~ThreadErrorSlot() {
        const InsideWinemu inside;
        object = {};
    }
};
thread_local ThreadErrorSlot current_error;

}  // namespace

void replace_thread_error(ComPtr<IErrorInfo> object) noexcept {
    // Swap first, release after: the old object's Release runs with the slot already consistent.
    ComPtr<IErrorInfo> old = std::move(current_error.object);
    current_error.object = std::move(object);
    const InsideWinemu inside;
    old = {};
}

ComPtr<IErrorInfo> take_thread_error() noexcept { return std::move(current_error.object); }

void leave_restricted_error(HRESULT error, std::optional<std::u16string_view> description,
                            std::optional<std::u16string_view> restricted_description) noexcept {
    replace_thread_error(
        ComPtr<IErrorInfo>(new_restricted_error_object(error, description, restricted_description)));
}

void leave_plain_error(std::u16string_view description) noexcept {
    replace_thread_error(ComPtr<IErrorInfo>(new_plain_error_object(description)));
}

}  // namespace winemu

extern "C" {

WINEMU_API HRESULT GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
    winemu::PlatformCall call("GetErrorInfo", winemu::ErrorInfoUse::keeps);
    call.number("reserved", dwReserved);
    if (pperrinfo) *pperrinfo = nullptr;
    // A fault hands nothing over and leaves the thread's object where it is.
    if (const auto fault = winemu::enter_call("GetErrorInfo")) return call.returns(*fault);
    if (dwReserved != 0 || !pperrinfo) return call.returns(E_INVALIDARG);
    *pperrinfo = winemu::take_thread_error().detach();
    call.object("info", *pperrinfo);
    return call.returns(*pperrinfo ? S_OK : S_FALSE);
}

WINEMU_API HRESULT SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
    winemu::PlatformCall call("SetErrorInfo", winemu::ErrorInfoUse::keeps);
    call.number("reserved", dwReserved);
    call.object("info", perrinfo);
    // A fault leaves the thread's object as it was (or as the fault's own error object leaves it).
    if (const auto fault = winemu::enter_call("SetErrorInfo")) return call.returns(*fault);
    if (dwReserved != 0) return call.returns(E_INVALIDARG);
    if (perrinfo) perrinfo->AddRef();
    winemu::replace_thread_error(winemu::ComPtr<IErrorInfo>(perrinfo));
    return call.returns(S_OK);
}

WINEMU_API void winemu_set_restricted_error(HRESULT error, const char* description,
                                            const char* restricted_description) {
    try {
        const auto description16 = winemu::utf16_from_optional_utf8(description);
        const auto restricted16 = winemu::utf16_from_optional_utf8(restricted_description);
        winemu::leave_restricted_error(error, description16, restricted16);
    } catch (...) {
        winemu::replace_thread_error({});
    }
}

WINEMU_API void winemu_set_plain_error(const char* description) {
    try {
        winemu::leave_plain_error(winemu::utf16_from_utf8_lossy(description ? description : ""));
    } catch (...) {
        winemu::replace_thread_error({});
    }
}

}  // extern "C"
