// unique_bstr.hpp: UniqueBstr, the owner of one BSTR, given back with SysFreeString exactly once.
#pragma once

#include "owners/unique_handle.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {

// The null BSTR is the empty text and owns nothing.
using UniqueBstr = UniqueHandle<BSTR, &SysFreeString>;

// Its length in code units (SysStringLen), 0 for the null BSTR.
inline unsigned bstr_length(BSTR text) noexcept { return text == nullptr ? 0 : SysStringLen(text); }
// Its units, NUL characters included; empty for the null BSTR.
inline WideView bstr_view(BSTR text) noexcept { return wide_view(text, bstr_length(text)); }

}  // namespace morvane::scheduler
