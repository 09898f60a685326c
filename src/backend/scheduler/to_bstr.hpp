// to_bstr.hpp: UTF-8 text made into an owned BSTR for the platform.
#pragma once

#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {

// The text as a BSTR of UTF-16 units, NUL characters and all; empty text is the null BSTR and
// allocates nothing. Fails when the text has more than 0xFFFFFFFF units (E_INVALIDARG) or when
// the BSTR cannot be allocated (E_OUTOFMEMORY, with the thread's error information); a text too
// long for the BSTR's byte-length prefix is refused by SysAllocStringLen, so it ends up there.
Result<UniqueBstr, PlatformError> try_to_bstr(std::string_view utf8);

// try_to_bstr, where a failure is an InternalFailure whose text carries the debug rendering of
// the PlatformError. Every BSTR the client hands to the platform is made here.
UniqueBstr to_bstr(std::string_view utf8);

}  // namespace morvane::scheduler
