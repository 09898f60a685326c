// bstr_alloc.hpp: BSTRs that winemu itself hands out (counted, never faulted).
#pragma once

#include <string_view>

#include <winemu/types.h>

namespace winemu {

// A BSTR holding the text; counted in outstanding().bstrs and freed by SysFreeString.
// Returns null only when memory runs out.
BSTR alloc_bstr(std::u16string_view text) noexcept;

}  // namespace winemu
