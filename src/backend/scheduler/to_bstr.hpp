// to_bstr.hpp: UTF-8 text made into an owned BSTR for the platform.
#pragma once

#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {

// The text as a BSTR of UTF-16 units, NUL characters and all; empty text is the null BSTR and
// allocates nothing. Fails when the text has more units than a BSTR can count (E_INVALIDARG) or
// when the BSTR cannot be allocated (E_OUTOFMEMORY, with the thread's error information).
Result<UniqueBstr, PlatformError> try_to_bstr(std::string_view utf8);

// try_to_bstr, where a failure is an InternalFailure whose text carries the debug rendering of
// the PlatformError. Every text the client hands to the platform goes through here.
UniqueBstr to_bstr(std::string_view utf8);

}  // namespace morvane::scheduler
