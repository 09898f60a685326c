// unique_bstr.hpp: UniqueBstr, the owner of one BSTR, given back with SysFreeString exactly once.
#pragma once

#include <utility>

#include "scheduler/platform.hpp"
#include "scheduler/wide_text.hpp"

namespace morvane::scheduler {

// Owns a BSTR; the null BSTR is the empty text and owns nothing. The constructor takes over a BSTR
// the caller was handed; put() frees what is held before handing out the address for an out
// parameter.
class UniqueBstr {
public:
    UniqueBstr() noexcept = default;
    explicit UniqueBstr(BSTR attached) noexcept : bstr_(attached) {}
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept;
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;
    ~UniqueBstr() { reset(); }

    BSTR get() const noexcept { return bstr_; }
    explicit operator bool() const noexcept { return bstr_ != nullptr; }
    BSTR* put() noexcept;
    void reset() noexcept;

    // Its length in code units (SysStringLen), 0 for the null BSTR.
    unsigned length() const noexcept;
    // Its units, NUL characters included; empty for the null BSTR.
    WideView view() const noexcept;

private:
    BSTR bstr_ = nullptr;
};

}  // namespace morvane::scheduler
