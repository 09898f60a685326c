// live_objects.cpp: the process-wide counts of what winemu has handed out, and winemu_outstanding.
#include "com/live_objects.hpp"

#include <winemu/control.h>

namespace winemu {

LiveCounts& live_counts() {
    // Atomics only: trivially destructible, so objects released late in process exit still count.
    static LiveCounts counts;
    return counts;
}

}  // namespace winemu

extern "C" WINEMU_API winemu_outstanding_counts winemu_outstanding(void) {
    const auto& counts = winemu::live_counts();
    return {
        .objects = counts.objects.load(),
        .bstrs = counts.bstrs.load(),
        .apartments = counts.apartments.load(),
        .buffers = counts.buffers.load(),
        .libraries = counts.libraries.load(),
    };
}
