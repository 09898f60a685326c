// sddl_control.cpp: the control API's door to the SDDL reader and writer, so that tests can hold
// them against a model of their own without a task.
#include <algorithm>
#include <cstring>
#include <string>

#include <winemu/control.h>

#include "base/utf.hpp"
#include "security/security_descriptor.hpp"

extern "C" WINEMU_API long long winemu_sddl_canonical(const char* text, char* buffer, size_t capacity) {
    if (!text) return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
    try {
        const std::optional<std::u16string> utf16 = winemu::utf16_from_utf8(std::string_view(text));
        if (!utf16) return HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER);
        const auto descriptor = winemu::read_sddl(*utf16);
        if (!descriptor.ok()) return descriptor.error();
        const std::string canonical = winemu::utf8_from_utf16_lossy(winemu::write_sddl(descriptor.value()));
        if (buffer && capacity != 0) {
            const size_t copied = std::min(capacity - 1, canonical.size());
            std::memcpy(buffer, canonical.data(), copied);
            buffer[copied] = '\0';
        }
        return static_cast<long long>(canonical.size());
    } catch (...) {
        return E_OUTOFMEMORY;
    }
}
