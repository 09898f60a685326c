// hstring.cpp: HSTRINGs (immutable counted UTF-16 strings of WinRT): create, read, delete.
#include <new>
#include <string>

#include <winemu/restricted_error.h>

#include "control/faults.hpp"
#include "com/live_objects.hpp"
#include "control/platform_call.hpp"

// The type behind HSTRING. Embedded NULs are allowed; the units are always NUL-terminated.
struct HSTRING__ {
    std::u16string units;
};

namespace winemu {
// WindowsCreateString's work, below its journal frame.
HRESULT create_string(PCNZWCH sourceString, UINT32 length, HSTRING* string) noexcept;
}  // namespace winemu

extern "C" {

WINEMU_API HRESULT WINAPI WindowsCreateString(PCNZWCH sourceString, UINT32 length, HSTRING* string) {
    winemu::PlatformCall call("WindowsCreateString", winemu::ErrorInfoUse::keeps);
    call.number("length", length);
    return call.returns(winemu::create_string(sourceString, length, string));
}

WINEMU_API HRESULT WINAPI WindowsDeleteString(HSTRING string) {
    winemu::PlatformCall call("WindowsDeleteString", winemu::ErrorInfoUse::keeps);
    call.number("null_string", string ? 0 : 1);
    if (!string) return call.returns(S_OK);
    delete string;
    winemu::count_live(winemu::Tally::buffers, -1);
    return call.returns(S_OK);
}

}  // extern "C"

namespace winemu {

HRESULT create_string(PCNZWCH sourceString, UINT32 length, HSTRING* string) noexcept {
    if (string) *string = nullptr;
    if (const auto fault = winemu::enter_call("WindowsCreateString")) return *fault;
    if (!string) return E_INVALIDARG;
    if (!sourceString && length != 0) return E_POINTER;
    // The empty string is the null HSTRING.
    if (length == 0) return S_OK;
    try {
        *string = new HSTRING__{std::u16string(sourceString, length)};
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    }
    winemu::count_live(winemu::Tally::buffers, 1);
    return S_OK;
}

}  // namespace winemu

extern "C" {

WINEMU_API PCNZWCH WINAPI WindowsGetStringRawBuffer(HSTRING string, UINT32* length) {
    if (!string) {
        if (length) *length = 0;
        return u"";
    }
    if (length) *length = static_cast<UINT32>(string->units.size());
    return string->units.c_str();
}

}  // extern "C"
