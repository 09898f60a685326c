// empty_variant.hpp: the empty VARIANT that the service takes for arguments left out.
#pragma once

#include <cstring>

#include "scheduler/platform.hpp"

namespace morvane::scheduler {

// VT_EMPTY with all 24 bytes zero.
inline VARIANT empty_variant() noexcept {
    VARIANT variant;
    std::memset(&variant, 0, sizeof variant);
    return variant;
}

}  // namespace morvane::scheduler
