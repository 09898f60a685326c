// task_memory.hpp: UniqueTaskMemory, the owner of a block that a call handed over to be given
// back with CoTaskMemFree.
#pragma once

#include <utility>

#include "scheduler/platform.hpp"

namespace morvane::scheduler {

// Owns an array of T allocated by the platform for its caller; freed exactly once. put() frees
// what is held before handing out the address for an out parameter.
template <class T>
class UniqueTaskMemory {
public:
    UniqueTaskMemory() noexcept = default;
    UniqueTaskMemory(UniqueTaskMemory&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    UniqueTaskMemory& operator=(UniqueTaskMemory&&) = delete;
    UniqueTaskMemory(const UniqueTaskMemory&) = delete;
    UniqueTaskMemory& operator=(const UniqueTaskMemory&) = delete;
    ~UniqueTaskMemory() { reset(); }

    T* get() const noexcept { return block_; }
    T** put() noexcept {
        reset();
        return &block_;
    }
    void reset() noexcept {
        if (T* held = std::exchange(block_, nullptr)) CoTaskMemFree(held);
    }

private:
    T* block_ = nullptr;
};

}  // namespace morvane::scheduler
