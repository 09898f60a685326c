// unique_handle.hpp: UniqueHandle, the owner of one platform handle, given back once by its release function.
#pragma once

#include <utility>

namespace morvane::scheduler {

// Owns a handle that `release` gives back (an HSTRING, a loaded library, a buffer the system
// allocated); the null handle owns nothing. The constructor takes over a handle the caller was
// handed; put() releases what is held before handing out the address for an out parameter;
// detach() gives up ownership without releasing.
template <class Handle, auto release>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle attached) noexcept : handle_(attached) {}
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != nullptr; }

    Handle* put() noexcept {
        reset();
        return &handle_;
    }
    Handle detach() noexcept { return std::exchange(handle_, nullptr); }

    void reset() noexcept {
        if (Handle held = std::exchange(handle_, nullptr)) release(held);
    }

private:
    Handle handle_ = nullptr;
};

}  // namespace morvane::scheduler
