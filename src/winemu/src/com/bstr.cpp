// bstr.cpp: BSTRs (a 4-byte byte-length prefix, UTF-16 units, a NUL unit) and VariantInit.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <optional>

#include <winemu/com.h>

#include "com/bstr_alloc.hpp"
#include "control/faults.hpp"
#include "com/live_objects.hpp"
#include "control/platform_call.hpp"

namespace winemu {
namespace {

using LengthPrefix = std::uint32_t;

// The prefix holds the length in bytes, so a BSTR can hold at most this many units.
constexpr std::size_t longest_bstr = (std::numeric_limits<LengthPrefix>::max() - sizeof(OLECHAR)) / sizeof(OLECHAR);

BSTR allocate(const OLECHAR* units, std::size_t count) noexcept {
    if (count > longest_bstr) return nullptr;
    const std::size_t bytes = count * sizeof(OLECHAR);
    auto* block = static_cast<unsigned char*>(std::malloc(sizeof(LengthPrefix) + bytes + sizeof(OLECHAR)));
    if (!block) return nullptr;
    const auto prefix = static_cast<LengthPrefix>(bytes);
    std::memcpy(block, &prefix, sizeof prefix);
    auto* text = reinterpret_cast<OLECHAR*>(block + sizeof(LengthPrefix));
    // Without source units the text is uninitialised on Windows; zeroes make it deterministic here.
    if (units && count > 0) {
        std::memcpy(text, units, bytes);
    } else {
        std::memset(text, 0, bytes);
    }
    text[count] = u'\0';
    count_live(Tally::bstrs, 1);
    return text;
}

unsigned char* block_of(BSTR text) { return reinterpret_cast<unsigned char*>(text) - sizeof(LengthPrefix); }

}  // namespace

BSTR alloc_bstr(std::u16string_view text) noexcept { return allocate(text.data(), text.size()); }

}  // namespace winemu

extern "C" {

WINEMU_API BSTR SysAllocStringLen(const OLECHAR* strIn, UINT ui) {
    winemu::PlatformCall call("SysAllocStringLen", winemu::ErrorInfoUse::keeps);
    call.number("length", ui);
    // An allocator: a queued fault makes it return null, except S_FALSE, which makes it return an
    // empty string whatever it was asked for, so that callers' checks of the length can be tested.
    const std::optional<HRESULT> fault = winemu::enter_call("SysAllocStringLen");
    const BSTR text = !fault ? winemu::allocate(strIn, ui) : *fault == S_FALSE ? winemu::allocate(strIn, 0) : nullptr;
    call.result(text ? 1 : 0);
    return text;
}

WINEMU_API UINT SysStringLen(BSTR pbstr) {
    winemu::PlatformCall call("SysStringLen", winemu::ErrorInfoUse::keeps);
    call.text("bstr", pbstr);
    if (!pbstr) return 0;
    winemu::LengthPrefix bytes = 0;
    std::memcpy(&bytes, winemu::block_of(pbstr), sizeof bytes);
    call.result(bytes / sizeof(OLECHAR));
    return bytes / sizeof(OLECHAR);
}

WINEMU_API void SysFreeString(BSTR bstrString) {
    winemu::PlatformCall call("SysFreeString", winemu::ErrorInfoUse::keeps);
    call.text("bstr", bstrString);
    if (!bstrString) return;
    std::free(winemu::block_of(bstrString));
    winemu::count_live(winemu::Tally::bstrs, -1);
}

WINEMU_API void VariantInit(VARIANT* pvarg) {
    // Windows sets only vt; zeroing all 24 bytes also gives the all-zero empty VARIANT callers expect.
    if (!pvarg) return;
    std::memset(static_cast<void*>(pvarg), 0, sizeof *pvarg);
    pvarg->vt = VT_EMPTY;
}

WINEMU_API HRESULT VariantClear(VARIANT* pvarg) {
    winemu::PlatformCall call("VariantClear", winemu::ErrorInfoUse::keeps);
    if (!pvarg) return call.returns(E_INVALIDARG);
    call.variant("variant", *pvarg);
    // Only what winemu hands out in a VARIANT is owned by one: a BSTR, an array and its elements,
    // a reference to an object.
    if (pvarg->vt & VT_ARRAY) {
        if (const HRESULT destroyed = SafeArrayDestroy(pvarg->parray); FAILED(destroyed)) return call.returns(destroyed);
    } else if (pvarg->vt == VT_BSTR) {
        SysFreeString(pvarg->bstrVal);
    } else if (pvarg->vt == VT_DISPATCH && pvarg->pdispVal) {
        pvarg->pdispVal->Release();
    }
    VariantInit(pvarg);
    return call.returns(S_OK);
}

}  // extern "C"
