// live_objects.hpp: counts of what winemu has handed out and not yet taken back (outstanding()).
#pragma once

#include <atomic>

namespace winemu {

struct LiveCounts {
    std::atomic<long long> objects{0};
    std::atomic<long long> bstrs{0};
    std::atomic<long long> apartments{0};
    std::atomic<long long> buffers{0};
    std::atomic<long long> libraries{0};
};

LiveCounts& live_counts();

// A member of every COM object of winemu: counts the object from construction to destruction.
class LiveObject {
public:
    LiveObject() noexcept { live_counts().objects.fetch_add(1, std::memory_order_relaxed); }
    ~LiveObject() { live_counts().objects.fetch_sub(1, std::memory_order_relaxed); }
    LiveObject(const LiveObject&) = delete;
    LiveObject& operator=(const LiveObject&) = delete;
};

}  // namespace winemu
