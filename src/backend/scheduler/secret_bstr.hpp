// secret_bstr.hpp: SecretBstr, the owner of a BSTR that holds a password: wiped with
// SecureZeroMemory, then given back with SysFreeString, exactly once.
#pragma once

#include <string_view>

#include "owners/unique_handle.hpp"
#include "runtime/result.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {

/* The text never passes through a platform call as an argument: the BSTR is allocated empty
 * (SysAllocStringLen without source units) and filled here, and its length is kept beside it, so
 * that neither SysStringLen nor any other call is handed the password before it is wiped. (The
 * emulated platform's call journal records the text of a BSTR that a call is given.) */
struct SecretText {
    BSTR text = nullptr;
    UINT length = 0;  // in units
    friend bool operator==(const SecretText&, const SecretText&) = default;
};

// Overwrites the units with zeros before freeing them, so that the password is not left in
// memory that the allocator hands out again.
inline void free_secret_text(SecretText secret) noexcept {
    if (!secret.text) return;
    SecureZeroMemory(secret.text, secret.length * sizeof(OLECHAR));
    SysFreeString(secret.text);
}

// The null BSTR is the empty text and owns nothing.
using SecretBstr = UniqueHandle<SecretText, &free_secret_text>;

// The UTF-8 text as a SecretBstr (empty text: the null BSTR); the UTF-16 it passes through on the
// way is wiped too. Fails as try_to_bstr fails.
Result<SecretBstr, PlatformError> try_to_secret_bstr(std::string_view utf8);

// The UTF-16 units as a SecretBstr (none: the null BSTR), copied straight into the BSTR the
// platform allocated empty. Fails as try_to_bstr fails.
Result<SecretBstr, PlatformError> try_to_secret_bstr(std::u16string_view units);

// try_to_secret_bstr, where a failure is the InternalFailure that to_bstr raises.
SecretBstr to_secret_bstr(std::string_view utf8);

}  // namespace morvane::scheduler
