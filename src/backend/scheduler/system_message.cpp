// system_message.cpp: FormatMessageW lookup of an HRESULT's text, its buffer freed on every path.
#include "scheduler/system_message.hpp"

#include <utility>

#include "scheduler/platform_error.hpp"
#include "owners/unique_handle.hpp"

namespace morvane::scheduler {
namespace {

// The buffer that FormatMessageW allocates for the caller, given back with LocalFree.
using LocalBuffer = UniqueHandle<WCHAR*, &LocalFree>;

constexpr DWORD flags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

}  // namespace

WideText system_message(HRESULT code) {
    LocalBuffer buffer;
    // With FORMAT_MESSAGE_ALLOCATE_BUFFER the buffer argument is where the buffer's address goes.
    const DWORD count =
        FormatMessageW(flags, nullptr, static_cast<DWORD>(code), 0, reinterpret_cast<LPWSTR>(buffer.put()), 0, nullptr);
    if (count == 0) return {};
    std::optional<WideText> text = try_copy(trim_trailing_white_space(wide_view(buffer.get(), count)));
    if (!text) {
        drop_secondary_failure(E_OUTOFMEMORY);
        return {};
    }
    return std::move(*text);
}

}  // namespace morvane::scheduler
