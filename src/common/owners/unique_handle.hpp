// unique_handle.hpp: UniqueHandle, the one owner of a handle that one release function gives back, and
// ComPtr, the owner of one COM reference; every owner of the client, winemu and the tests is one of them.
#pragma once

#include <type_traits>
#include <utility>

namespace morvane {

// Owns one handle that `release` gives back exactly once; `invalid` (null for pointers) owns
// nothing. Hand-offs: the constructor takes over a handle the caller was handed, without adding
// to it; put() releases what is held before handing out the address for an out parameter;
// detach() gives ownership up without releasing. Moves transfer ownership; there are no copies,
// so a second owner of the same thing is always spelled out where it is made.
template <class Handle, auto release, Handle invalid = Handle{}>
class UniqueHandle {
public:
    UniqueHandle() noexcept = default;
    explicit UniqueHandle(Handle attached) noexcept : handle_(attached) {}
    UniqueHandle(UniqueHandle&& other) noexcept : handle_(other.detach()) {}
    UniqueHandle& operator=(UniqueHandle&& other) noexcept {
        UniqueHandle taken(std::move(other));
        std::swap(handle_, taken.handle_);
        return *this;
    }
    UniqueHandle(const UniqueHandle&) = delete;
    UniqueHandle& operator=(const UniqueHandle&) = delete;
    ~UniqueHandle() { reset(); }

    Handle get() const noexcept { return handle_; }
    explicit operator bool() const noexcept { return handle_ != invalid; }
    Handle operator->() const noexcept
        requires std::is_pointer_v<Handle> && std::is_class_v<std::remove_pointer_t<Handle>>
    {
        return handle_;
    }

    Handle* put() noexcept {
        reset();
        return &handle_;
    }
    // For calls that hand an object back through void** (CoCreateInstance, QueryInterface).
    void** put_void() noexcept
        requires std::is_pointer_v<Handle>
    {
        return reinterpret_cast<void**>(put());
    }
    Handle detach() noexcept { return std::exchange(handle_, invalid); }

    void reset() noexcept {
        if (Handle held = detach(); held != invalid) release(held);
    }

private:
    Handle handle_ = invalid;
};

template <class Interface>
void release_reference(Interface* object) noexcept {
    object->Release();
}

// One reference count of a COM interface, given back with Release. Copies do not AddRef because
// there are none: sharing a reference is an AddRef written where it happens, which the emulated
// platform's call journal and outstanding counts then see.
template <class Interface>
using ComPtr = UniqueHandle<Interface*, &release_reference<Interface>>;

}  // namespace morvane
