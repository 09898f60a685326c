// platform_error.cpp: the message text of a PlatformError and its two renderings.
#include "scheduler/platform_error.hpp"

#include <cstdint>
#include <cstdio>

#include "scheduler/system_message.hpp"
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {

PlatformError PlatformError::without_capture(HRESULT code) noexcept { return PlatformError(code, {}); }

WideText PlatformError::message() const {
    if (!detail_) return system_message(code_);

    BSTR description = nullptr;
    BSTR restricted_description = nullptr;
    BSTR capability_sid = nullptr;
    HRESULT error = 0;
    const HRESULT outcome =
        detail_->GetErrorDetails(&description, &error, &restricted_description, &capability_sid);
    UniqueBstr owned_description(description);
    UniqueBstr owned_restricted(restricted_description);
    UniqueBstr owned_sid(capability_sid);
    if (FAILED(outcome)) drop_secondary_failure(outcome);
    owned_sid.reset();

    // Details about another code describe something else: they are given back unread, and the
    // system's text for the code is looked up after that.
    if (error != code_) {
        owned_description.reset();
        owned_restricted.reset();
        return system_message(code_);
    }

    const UniqueBstr& chosen = bstr_length(owned_restricted.get()) > 0 ? owned_restricted : owned_description;
    std::optional<WideText> text = try_copy(trim_trailing_white_space(bstr_view(chosen.get())));
    if (!text) {
        drop_secondary_failure(E_OUTOFMEMORY);
        return {};
    }
    return std::move(*text);
}

std::string format_hresult(HRESULT code) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "0x%08X", static_cast<unsigned>(static_cast<std::uint32_t>(code)));
    return digits;
}

std::string PlatformError::to_text() const {
    const WideText text = message();
    if (text.empty()) return format_hresult(code_);
    return utf8_from_utf16(text) + " (" + format_hresult(code_) + ")";
}

std::string PlatformError::debug_text() const {
    return "Error { code: HRESULT(" + format_hresult(code_) + "), message: \"" + utf8_from_utf16(message()) + "\" }";
}

}  // namespace morvane::scheduler
