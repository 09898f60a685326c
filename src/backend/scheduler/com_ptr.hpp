// com_ptr.hpp: ComPtr<T>, the owner of one COM reference, given back with Release exactly once.
#pragma once

#include <utility>

namespace morvane::scheduler {

// Owns one reference count of a COM interface. The constructor from a raw pointer takes over a
// reference the caller already holds (no AddRef); put() releases what is held before handing out
// the address for an out parameter. Moves transfer the reference; copies do not exist.
template <class T>
class ComPtr {
public:
    ComPtr() noexcept = default;
    explicit ComPtr(T* attached) noexcept : pointer_(attached) {}
    ComPtr(ComPtr&& other) noexcept : pointer_(std::exchange(other.pointer_, nullptr)) {}
    ComPtr& operator=(ComPtr&& other) noexcept {
        if (this != &other) {
            reset();
            pointer_ = std::exchange(other.pointer_, nullptr);
        }
        return *this;
    }
    ComPtr(const ComPtr&) = delete;
    ComPtr& operator=(const ComPtr&) = delete;
    ~ComPtr() { reset(); }

    T* get() const noexcept { return pointer_; }
    T* operator->() const noexcept { return pointer_; }
    explicit operator bool() const noexcept { return pointer_ != nullptr; }

    T** put() noexcept {
        reset();
        return &pointer_;
    }
    // For calls that hand the object back through void** (CoCreateInstance, QueryInterface).
    void** put_void() noexcept { return reinterpret_cast<void**>(put()); }

    void reset() noexcept {
        if (T* held = std::exchange(pointer_, nullptr)) held->Release();
    }

private:
    T* pointer_ = nullptr;
};

}  // namespace morvane::scheduler
