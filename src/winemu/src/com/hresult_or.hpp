// hresult_or.hpp: a value or the HRESULT that explains why there is none.
#pragma once

#include <optional>
#include <utility>

#include <winemu/types.h>

namespace winemu {

// Either a value (success) or a failure HRESULT. Made with the value, or with failure(code).
template <typename T>
class HResultOr {
public:
    HResultOr(T value) : value_(std::move(value)) {}  // NOLINT: implicit, like a return value
    static HResultOr failure(HRESULT code) { return HResultOr(code); }

    bool ok() const noexcept { return value_.has_value(); }
    HRESULT error() const noexcept { return error_; }
    T& value() noexcept { return *value_; }
    const T& value() const noexcept { return *value_; }

private:
    explicit HResultOr(HRESULT code) : error_(code) {}
    std::optional<T> value_;
    HRESULT error_ = S_OK;
};

}  // namespace winemu
