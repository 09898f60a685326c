// secret_bstr.hpp: SecretBstr, the owner of a BSTR that holds a password: its units are wiped
// before SysFreeString gives it back.
#pragma once

#include <string_view>

#include "runtime/result.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/platform_error.hpp"
#include "owners/unique_handle.hpp"

namespace morvane::scheduler {

// Wipes the BSTR's bytes, then frees it; nothing for the null BSTR.
void wipe_and_free_bstr(BSTR secret) noexcept;

using SecretBstr = UniqueHandle<BSTR, &wipe_and_free_bstr>;

// The units as a BSTR of their own (an empty text too: a BSTR of length 0, not the null BSTR,
// so that an empty password is still a password). E_OUTOFMEMORY when it cannot be allocated.
Result<SecretBstr, PlatformError> secret_bstr(std::u16string_view units);

}  // namespace morvane::scheduler
