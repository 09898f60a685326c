// live_objects.cpp: the count of combase.dll's loads, and winemu_outstanding.
#include "com/live_objects.hpp"

#include <winemu/control.h>

#include "com/apartments.hpp"

namespace winemu {

std::atomic<long long>& live_libraries() noexcept {
    // Trivially destructible, so loads freed late in process exit still count.
    static std::atomic<long long> libraries{0};
    return libraries;
}

}  // namespace winemu

extern "C" WINEMU_API winemu_outstanding_counts winemu_outstanding(void) {
    using winemu::Tally;
    return {
        .objects = winemu::live_count(Tally::objects),
        .bstrs = winemu::live_count(Tally::bstrs),
        .apartments = winemu::live_count(Tally::apartments),
        .buffers = winemu::live_count(Tally::buffers),
        .libraries = winemu::live_libraries().load(),
        .mta_usages = winemu::live_mta_usages(),
    };
}
