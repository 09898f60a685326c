// bstr_text.hpp: reading a BSTR argument and handing a text out as a BSTR.
#pragma once

#include <string_view>

#include <winemu/com.h>

#include "com/bstr_alloc.hpp"

namespace winemu {

// The units of the BSTR (NUL characters included); a null BSTR is the empty text.
inline std::u16string_view bstr_view(BSTR text) noexcept {
    if (!text) return {};
    return {text, SysStringLen(text)};
}

// Sets *out to a new BSTR of the text: S_OK, E_POINTER or E_OUTOFMEMORY.
inline HRESULT hand_out_bstr(std::u16string_view text, BSTR* out) noexcept {
    if (!out) return E_POINTER;
    *out = alloc_bstr(text);
    return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace winemu
