// secret_bstr.cpp: a password's UTF-8 text made into a SecretBstr.
#include "scheduler/secret_bstr.hpp"

#include <cstdint>
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
    if (staged.units.empty()) return SecretBstr();
    if (staged.units.size() > std::numeric_limits<std::uint32_t>::max())
        return Err{PlatformError::without_capture(E_INVALIDARG)};
    SecretBstr bstr(SysAllocStringLen(staged.units.data(), static_cast<UINT>(staged.units.size())));
    if (!bstr || SysStringLen(bstr.get()) == 0) {
        // Captured before the string is freed, as right after any failed call.
        PlatformError failure = PlatformError::from_hresult(E_OUTOFMEMORY);
        bstr.reset();
        return Err{std::move(failure)};
    }
    return bstr;
}

SecretBstr to_secret_bstr(std::string_view utf8) {
    Result<SecretBstr, PlatformError> converted = try_to_secret_bstr(utf8);
    if (!converted)
        throw InternalFailure("called `Result::unwrap()` on an `Err` value: " + converted.error().debug_text());
    return std::move(converted).value();
}

}  // namespace morvane::scheduler
