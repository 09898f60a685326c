// secret_bstr.cpp: a password's BSTR, wiped before it is freed.
#include "scheduler/secret_bstr.hpp"

#include <cstddef>
#include <cstdint>
#include <limits>

#include "scheduler/secret_text.hpp"

namespace morvane::scheduler {

static_assert(sizeof(OLECHAR) == sizeof(char16_t), "a BSTR holds UTF-16 units");

void wipe_and_free_bstr(BSTR secret) noexcept {
    if (!secret) return;
    wipe_memory(secret, std::size_t{SysStringLen(secret)} * sizeof(OLECHAR));
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
