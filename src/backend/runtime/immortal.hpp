// immortal.hpp: make_immortal, the back end's one deliberate leak, held where a leak checker sees
// it as held.
#pragma once

#include <atomic>
#include <new>
#include <type_traits>
#include <utility>

namespace morvane {
namespace detail {

// The values made immortal, each on a list that starts in static storage and is never freed.
struct ImmortalNode {
    ImmortalNode* next = nullptr;
};
template <class T>
struct ImmortalValue : ImmortalNode {
    explicit ImmortalValue(T&& kept) noexcept : value(std::move(kept)) {}
    T value;
};
inline std::atomic<ImmortalNode*> immortal_values{nullptr};

}  // namespace detail

// Moves value into a heap copy that is never destroyed: for an owner whose release would be a
// misuse here (objects of an apartment no thread can enter any more, a forked child's copies of
// its parent's connection and lock). What it owns stays held until the process ends. Should even
// that allocation fail, value is destroyed at the end of the call after all: nothing better
// remains. Any thread.
template <class T>
    requires std::is_nothrow_move_constructible_v<T>
void make_immortal(T value) noexcept {
    auto* node = new (std::nothrow) detail::ImmortalValue<T>(std::move(value));
    if (node == nullptr) return;
    node->next = detail::immortal_values.load(std::memory_order_relaxed);
    while (!detail::immortal_values.compare_exchange_weak(node->next, node, std::memory_order_release,
                                                          std::memory_order_relaxed)) {
    }
}

}  // namespace morvane
