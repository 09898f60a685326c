// live_objects.hpp: counts of what winemu has handed out and not yet taken back (outstanding()).
#pragma once

#include <atomic>

#include "control/thread_tallies.hpp"

namespace winemu {

// Objects, BSTRs, apartment entries and buffers are counted in the calling thread's tallies (they
// change on nearly every call); the sums over all threads are what is outstanding.
inline void count_live(Tally kind, long long change) noexcept { add_to_tally(kind, change); }
inline long long live_count(Tally kind) noexcept { return tally_sum(kind); }

// Loads of combase.dll not yet freed: one shared counter, since FreeLibrary checks it (and it
// changes only when a failure is rendered).
std::atomic<long long>& live_libraries() noexcept;

// A member of every COM object of winemu: counts the object from construction to destruction.
class LiveObject {
public:
    LiveObject() noexcept { count_live(Tally::objects, 1); }
    ~LiveObject() { count_live(Tally::objects, -1); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

}  // namespace winemu
