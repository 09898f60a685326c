// unique_bstr.cpp: UniqueBstr's release, length and view.
#include "scheduler/unique_bstr.hpp"

namespace morvane::scheduler {

UniqueBstr& UniqueBstr::operator=(UniqueBstr&& other) noexcept {
    if (this != &other) {
        reset();
        bstr_ = std::exchange(other.bstr_, nullptr);
    }
    return *this;
}

BSTR* UniqueBstr::put() noexcept {
    reset();
    return &bstr_;
}

void UniqueBstr::reset() noexcept {
    if (BSTR held = std::exchange(bstr_, nullptr)) SysFreeString(held);
}

unsigned UniqueBstr::length() const noexcept { return bstr_ == nullptr ? 0 : SysStringLen(bstr_); }

WideView UniqueBstr::view() const noexcept { return wide_view(bstr_, length()); }

}  // namespace morvane::scheduler
