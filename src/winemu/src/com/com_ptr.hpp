// com_ptr.hpp: an owner of one COM reference, released exactly once.
#pragma once

#include <utility>

namespace winemu {

// Owns one reference to a COM interface. attach() takes over a reference without AddRef;
// detach() hands it back to the caller; the destructor releases whatever is still owned.
template <typename Interface>
class ComPtr {
public:
    ComPtr() noexcept = default;
    static ComPtr attach(Interface* raw) noexcept {
        ComPtr owner;
        owner.raw_ = raw;
        return owner;
    }
    ComPtr(ComPtr&& other) noexcept : raw_(std::exchange(other.raw_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        ComPtr taken(std::move(other));
        std::swap(raw_, taken.raw_);
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() {
        if (raw_) raw_->Release();
    }

    Interface* get() const noexcept { return raw_; }
    Interface* detach() noexcept { return std::exchange(raw_, nullptr); }
    explicit operator bool() const noexcept { return raw_ != nullptr; }

private:
    Interface* raw_ = nullptr;
};

}  // namespace winemu
