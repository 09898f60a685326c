// failing_allocations.hpp: a switch that makes large allocations fail, to reach out-of-memory paths.
#pragma once

#include <cstddef>

namespace winemu_test {

// While alive, every operator new of at least `bytes` bytes in the process (winemu's included)
// throws std::bad_alloc; smaller ones are served as usual. One at a time.
class FailingLargeAllocations {
public:
    explicit FailingLargeAllocations(std::size_t bytes) noexcept;
    ~FailingLargeAllocations();
    FailingLargeAllocations(const FailingLargeAllocations&) = delete;
    FailingLargeAllocations& operator=(const FailingLargeAllocations&) = delete;
};

}  // namespace winemu_test
