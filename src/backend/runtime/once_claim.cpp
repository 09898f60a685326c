// once_claim.cpp: claiming a one-time fill, and the fork generation that makes old claims stale.
#include "runtime/once_claim.hpp"

#include "runtime/fork_generation.hpp"

namespace morvane {
namespace {

// The word a claim of this process stores: odd, so never the 0 of "unclaimed", even when the
// generation wraps around.
std::uint32_t own_claim() noexcept {
    return (fork_generation() << 1) | 1U;
}

}  // namespace

bool OnceClaim::try_claim() noexcept {
    const std::uint32_t mine = own_claim();
    std::uint32_t seen = holder_.load(std::memory_order_acquire);
    // Unclaimed, or claimed by a thread of an ancestor process that this one does not have.
    while (seen != mine) {
        if (holder_.compare_exchange_weak(seen, mine, std::memory_order_acq_rel)) return true;
    }
    return false;
}

void OnceClaim::release() noexcept {
    holder_.store(0, std::memory_order_release);
    holder_.notify_all();
}

void OnceClaim::wait_while_claimed() const noexcept {
    const std::uint32_t mine = own_claim();
    std::uint32_t seen = holder_.load(std::memory_order_acquire);
    while (seen == mine) {
        holder_.wait(seen, std::memory_order_acquire);
        seen = holder_.load(std::memory_order_acquire);
    }
}

}  // namespace morvane
