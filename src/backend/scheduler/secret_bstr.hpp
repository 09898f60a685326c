// secret_bstr.hpp: SecretBstr, the owner of a BSTR that holds a password: wiped with
// SecureZeroMemory, then given back with SysFreeString, exactly once.
#pragma once

#include <string_view>

#include "owners/unique_handle.hpp"
#include "runtime/result.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {

// Overwrites the text's units with zeros before freeing it, so that the password is not left in
// memory that the allocator hands out again.
inline void free_secret_bstr(BSTR text) noexcept {
    if (!text) return;
    SecureZeroMemory(text, SysStringLen(text) * sizeof(OLECHAR));
    SysFreeString(text);
}

// The null BSTR is the empty text and owns nothing.
using SecretBstr = UniqueHandle<BSTR, &free_secret_bstr>;

// The UTF-8 text as a SecretBstr (empty text: the null BSTR); the UTF-16 it passes through on the
// way is wiped too. Fails as try_to_bstr fails.
Result<SecretBstr, PlatformError> try_to_secret_bstr(std::string_view utf8);

// try_to_secret_bstr, where a failure is the InternalFailure that to_bstr raises.
SecretBstr to_secret_bstr(std::string_view utf8);

}  // namespace morvane::scheduler
