// format_message.cpp: FormatMessageW over the system message table, and LocalFree for its buffers.
//
// Only what callers of the system table use is offered: FORMAT_MESSAGE_FROM_SYSTEM with
// FORMAT_MESSAGE_IGNORE_INSERTS, into a buffer that FormatMessageW allocates (freed by LocalFree)
// or into the caller's buffer of nSize units. Any other flag combination returns 0.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include <winemu/kernel.h>

#include "control/faults.hpp"
#include "com/last_error.hpp"
#include "com/live_objects.hpp"
#include "control/platform_call.hpp"
#include "com/system_messages.hpp"

namespace winemu {
namespace {

constexpr DWORD system_text_flags = FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;
constexpr DWORD allocating_system_text_flags = system_text_flags | FORMAT_MESSAGE_ALLOCATE_BUFFER;

constexpr DWORD error_insufficient_buffer = 122;
constexpr DWORD error_mr_mid_not_found = 317;
constexpr DWORD error_resource_lang_not_found = 1815;

// The table is English: the neutral and default languages and any English sublanguage find it.
bool language_has_table(DWORD language_id) {
    constexpr DWORD lang_neutral = 0x00;
    constexpr DWORD lang_english = 0x09;
    const DWORD primary = language_id & 0x3FF;
    return primary == lang_neutral || primary == lang_english;
}

// A LocalFree-able copy of the text with its NUL, or null when memory runs out.
WCHAR* allocate_copy(std::u16string_view text, DWORD minimum_units) {
    const std::size_t units = std::max<std::size_t>(text.size() + 1, minimum_units);
    auto* buffer = static_cast<WCHAR*>(std::calloc(units, sizeof(WCHAR)));
    if (!buffer) return nullptr;
    std::memcpy(buffer, text.data(), text.size() * sizeof(WCHAR));
    count_live(Tally::buffers, 1);
    return buffer;
}

DWORD fail(DWORD error) {
    set_last_error(error);
    return 0;
}

}  // namespace

// FormatMessageW's work, below its journal frame.
DWORD format_message(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* Arguments);

}  // namespace winemu

extern "C" {

WINEMU_API DWORD FormatMessageW(DWORD dwFlags, LPCVOID lpSource, DWORD dwMessageId, DWORD dwLanguageId,
                                LPWSTR lpBuffer, DWORD nSize, va_list* Arguments) {
    winemu::PlatformCall call("FormatMessageW", winemu::ErrorInfoUse::keeps);
    call.flags("flags", dwFlags);
    call.flags("message", dwMessageId);
    call.flags("language", dwLanguageId);
    call.number("size", nSize);
    const DWORD count = winemu::format_message(dwFlags, lpSource, dwMessageId, dwLanguageId, lpBuffer, nSize, Arguments);
    call.result(count);
    return count;
}

WINEMU_API HLOCAL LocalFree(HLOCAL hMem) {
    winemu::PlatformCall call("LocalFree", winemu::ErrorInfoUse::keeps);
    call.number("null_buffer", hMem ? 0 : 1);
    // Only FormatMessageW's buffers are handed out for LocalFree; null is a no-op, as on Windows.
    if (!hMem) return nullptr;
    std::free(hMem);
    winemu::count_live(winemu::Tally::buffers, -1);
    return nullptr;
}

}  // extern "C"

namespace winemu {

DWORD format_message(DWORD dwFlags, LPCVOID /*lpSource*/, DWORD dwMessageId, DWORD dwLanguageId, LPWSTR lpBuffer,
                     DWORD nSize, va_list* /*Arguments*/) {
    const bool allocate = dwFlags == winemu::allocating_system_text_flags;
    if (allocate && lpBuffer) *reinterpret_cast<LPWSTR*>(lpBuffer) = nullptr;
    if (const auto fault = winemu::enter_call("FormatMessageW")) return winemu::fail(static_cast<DWORD>(*fault));
    if (!allocate && dwFlags != winemu::system_text_flags) return winemu::fail(ERROR_INVALID_PARAMETER);
    if (!lpBuffer) return winemu::fail(ERROR_INVALID_PARAMETER);
    if (!winemu::language_has_table(dwLanguageId)) return winemu::fail(winemu::error_resource_lang_not_found);
    const auto text = winemu::system_message(dwMessageId);
    if (!text) return winemu::fail(winemu::error_mr_mid_not_found);
    const auto length = static_cast<DWORD>(text->size());
    if (allocate) {
        // With FORMAT_MESSAGE_ALLOCATE_BUFFER, lpBuffer is really the address of the caller's pointer.
        WCHAR* buffer = winemu::allocate_copy(*text, nSize);
        if (!buffer) return winemu::fail(ERROR_NOT_ENOUGH_MEMORY);
        *reinterpret_cast<LPWSTR*>(lpBuffer) = buffer;
        return length;
    }
    if (nSize <= length) return winemu::fail(winemu::error_insufficient_buffer);
    std::copy(text->begin(), text->end(), lpBuffer);
    lpBuffer[length] = u'\0';
    return length;
}

}  // namespace winemu
