// system_text.cpp: the system message table's text for a code, read with FormatMessageW.
#include "system_text.hpp"

#include <cstdio>
#include <memory>
#include <string_view>

namespace {

struct LocalFreeDeleter {
    void operator()(wchar_t* buffer) const noexcept { LocalFree(buffer); }
};

bool is_trailing_space(wchar_t c) { return c == L' ' || (c >= L'\t' && c <= L'\r'); }

std::string utf8_of(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    const int bytes = WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(bytes), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), bytes, nullptr, nullptr);
    return out;
}

}  // namespace

std::string system_text(HRESULT code) {
    wchar_t* raw = nullptr;
    const DWORD length = FormatMessageW(
        FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM, nullptr,
        static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(&raw), 0, nullptr);
    const std::unique_ptr<wchar_t, LocalFreeDeleter> buffer(raw);
    if (length == 0 || !buffer) return {};
    std::wstring_view text(buffer.get(), length);
    while (!text.empty() && is_trailing_space(text.back())) text.remove_suffix(1);
    return utf8_of(text);
}

std::string formatted_code(HRESULT code) {
    char digits[11];
    std::snprintf(digits, sizeof digits, "0x%08lX", static_cast<unsigned long>(static_cast<DWORD>(code)));
    return digits;
}

std::string expected_message(HRESULT code) {
    const std::string text = system_text(code);
    if (text.empty()) return formatted_code(code);
    return text + " (" + formatted_code(code) + ")";
}
