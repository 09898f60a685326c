// system_message.cpp: FormatMessageW lookup of an HRESULT's text, its buffer freed on every path.
#include "scheduler/system_message.hpp"

#include <utility>

#include "scheduler/platform_error.hpp"

namespace morvane::scheduler {
namespace {

// Owns a buffer that the system allocated for the caller, given back with LocalFree once.
class LocalBuffer {
public:
    LocalBuffer() noexcept = default;
    LocalBuffer(const LocalBuffer&) = delete;
    LocalBuffer& operator=(const LocalBuffer&) = delete;
    ~LocalBuffer() {
        if (units_ != nullptr) LocalFree(units_);
    }

    const WCHAR* get() const noexcept { return units_; }
    // FormatMessageW with FORMAT_MESSAGE_ALLOCATE_BUFFER writes the buffer's address here.
    LPWSTR put_for_allocation() noexcept { return reinterpret_cast<LPWSTR>(&units_); }

private:
    WCHAR* units_ = nullptr;
};

constexpr DWORD kFlags = FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_IGNORE_INSERTS | FORMAT_MESSAGE_FROM_SYSTEM;

}  // namespace

WideText system_message(HRESULT code) {
    LocalBuffer buffer;
    const DWORD count = FormatMessageW(kFlags, nullptr, static_cast<DWORD>(code), 0, buffer.put_for_allocation(), 0,
                                       nullptr);
    if (count == 0) return {};
    std::optional<WideText> text = try_copy(trim_trailing_white_space(wide_view(buffer.get(), count)));
    if (!text) {
        drop_secondary_failure(E_OUTOFMEMORY);
        return {};
    }
    return std::move(*text);
}

}  // namespace morvane::scheduler
