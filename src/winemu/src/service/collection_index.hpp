// collection_index.hpp: the position a collection's get_Item index names.
#pragma once

#include <optional>

#include <winemu/types.h>

namespace winemu {

// The 1-based position an integer index names: every integer type is taken, as Windows takes
// them (VT_I1 to VT_UINT); nothing for any other type.
inline std::optional<long long> integer_index(const VARIANT& index) {
    switch (index.vt) {
    case VT_I1: return index.cVal;
    case VT_UI1: return index.bVal;
    case VT_I2: return index.iVal;
    case VT_UI2: return index.uiVal;
    case VT_I4: return index.lVal;
    case VT_UI4: return index.ulVal;
    case VT_INT: return index.intVal;
    case VT_UINT: return index.uintVal;
    case VT_I8: return index.llVal;
    case VT_UI8: return index.ullVal > 0x7FFFFFFFull ? -1 : static_cast<long long>(index.ullVal);
    default: return std::nullopt;
    }
}

}  // namespace winemu
