// empty_variant.hpp: the VARIANTs of optional text arguments: the empty one that the service takes
// for an argument left out, and one that borrows a BSTR.
#pragma once

#include <cstring>

#include "scheduler/platform.hpp"

namespace morvane::scheduler {

// VT_EMPTY with all 24 bytes zero.
inline VARIANT empty_variant() noexcept {
    VARIANT variant;
    std::memset(&variant, 0, sizeof variant);
    return variant;
}

// VT_BSTR borrowing `text` when an argument is given (its owner frees it), else VT_EMPTY.
inline VARIANT borrowed_text_variant(BSTR text, bool given) noexcept {
    VARIANT variant = empty_variant();
    if (!given) return variant;
    variant.vt = VT_BSTR;
    variant.bstrVal = text;
    return variant;
}

}  // namespace morvane::scheduler
