// secret_bstr.cpp: a password's BSTR, wiped before it is freed.
#include "scheduler/secret_bstr.hpp"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>

#include "scheduler/secret_text.hpp"

namespace morvane::scheduler {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "a BSTR holds UTF-16 units");

// The length is read from the BSTR's own prefix (the four bytes before the text that count its
// bytes, as the BSTR layout is documented) rather than through SysStringLen: no call, journal or
// hook that sees the text is made on the way to wiping it.
void wipe_and_free_bstr(BSTR secret) noexcept {
    if (!secret) return;
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(secret) - sizeof bytes, sizeof bytes);
    wipe_memory(secret, bytes);
    SysFreeString(secret);
}

Result<SecretBstr, PlatformError> secret_bstr(std::u16string_view units) {
    if (units.size() > std::numeric_limits<std::uint32_t>::max() / sizeof(OLECHAR))
        return Err{PlatformError::without_capture(E_INVALIDARG)};
    SecretBstr bstr(SysAllocStringLen(reinterpret_cast<const OLECHAR*>(units.data()), static_cast<UINT>(units.size())));
    if (!bstr) return Err{PlatformError::from_hresult(E_OUTOFMEMORY)};
    return bstr;
}

}  // namespace morvane::scheduler
