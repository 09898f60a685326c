// secret_bstr.cpp: a password's UTF-8 text made into a SecretBstr.
#include "scheduler/secret_bstr.hpp"

#include <cstdint>
#include <cstring>
#include <limits>

#include "runtime/internal_failure.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {

namespace {

// The staging UTF-16 text, wiped when it goes out of scope on every path.
struct WipedWideText {
    WideText units;
    ~WipedWideText() {
        if (!units.empty()) SecureZeroMemory(units.data(), units.size() * sizeof(WCHAR));
    }
};

}  // namespace

Result<SecretBstr, PlatformError> try_to_secret_bstr(std::string_view utf8) {
    const WipedWideText staged{utf16_from_utf8(utf8)};
    static_assert(sizeof(WCHAR) == sizeof(char16_t), "UTF-16 units");
    return try_to_secret_bstr(
        std::u16string_view(reinterpret_cast<const char16_t*>(staged.units.data()), staged.units.size()));
}

Result<SecretBstr, PlatformError> try_to_secret_bstr(std::u16string_view units) {
    if (units.empty()) return SecretBstr();
    if (units.size() > std::numeric_limits<std::uint32_t>::max())
        return Err{PlatformError::without_capture(E_INVALIDARG)};
    const auto length = static_cast<UINT>(units.size());
    // Allocated without its units: only the length is handed to the platform.
    const BSTR allocated = SysAllocStringLen(nullptr, length);
    SecretBstr bstr(SecretText{allocated, allocated ? SysStringLen(allocated) : 0});
    if (!allocated || bstr.get().length != length) {
        // Captured before the string is freed, as right after any failed call.
        PlatformError failure = PlatformError::from_hresult(E_OUTOFMEMORY);
        bstr.reset();
        return Err{std::move(failure)};
    }
    std::memcpy(bstr.get().text, units.data(), length * sizeof(OLECHAR));
    return bstr;
}

SecretBstr to_secret_bstr(std::string_view utf8) {
    Result<SecretBstr, PlatformError> converted = try_to_secret_bstr(utf8);
    if (!converted)
        throw InternalFailure("called `Result::unwrap()` on an `Err` value: " + converted.error().debug_text());
    return std::move(converted).value();
}

}  // namespace morvane::scheduler
