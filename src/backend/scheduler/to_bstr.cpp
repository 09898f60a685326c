// to_bstr.cpp: UTF-8 to BSTR conversion, and its failure as an InternalFailure.
#include "scheduler/to_bstr.hpp"

#include <cstdint>
#include <limits>

#include "runtime/internal_failure.hpp"

namespace morvane::scheduler {

Result<UniqueBstr, PlatformError> try_to_bstr(std::string_view utf8) {
    const WideText units = utf16_from_utf8(utf8);
    if (units.empty()) return UniqueBstr();
    if (units.size() > std::numeric_limits<std::uint32_t>::max())
        return Err{PlatformError::without_capture(E_INVALIDARG)};

    UniqueBstr bstr(SysAllocStringLen(units.data(), static_cast<UINT>(units.size())));
    if (!bstr || SysStringLen(bstr.get()) == 0) {
        // Captured before the string is freed, as right after any failed call.
        PlatformError failure = PlatformError::from_hresult(E_OUTOFMEMORY);
        bstr.reset();
        return Err{std::move(failure)};
    }
    return bstr;
}

UniqueBstr to_bstr(std::string_view utf8) {
    Result<UniqueBstr, PlatformError> converted = try_to_bstr(utf8);
    // The text is rendered while the error still holds its detail; unwinding releases it after.
    // Its wording is fixed: the Python side reports it unchanged and callers may match it.
    if (!converted)
        throw InternalFailure("called `Result::unwrap()` on an `Err` value: " + converted.error().debug_text());
    return std::move(converted).value();
}

}  // namespace morvane::scheduler
