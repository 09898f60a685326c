// immortal.hpp: make_immortal, the back end's one deliberate leak.
#pragma once

#include <new>
#include <type_traits>
#include <utility>

namespace morvane {

// Moves value into a heap copy that is never destroyed: for an owner whose release would be a
// misuse here (objects of an apartment no thread can enter any more, a forked child's copies of
// its parent's connection and lock). What it owns stays held until the process ends. Should even
// that allocation fail, value is destroyed at the end of the call after all: nothing better
// remains.
template <class T>
void make_immortal(T&& value) noexcept(std::is_nothrow_move_constructible_v<std::remove_cvref_t<T>>) {
    static_cast<void>(new (std::nothrow) std::remove_cvref_t<T>(std::forward<T>(value)));
}

}  // namespace morvane
