// once_claim.hpp: OnceClaim, which thread fills a one-time cell, safe across fork().
#pragma once

#include <atomic>
#include <cstdint>

namespace morvane {

// The right to fill a one-time cell. It is a single atomic word, constant-initialised with every
// toolchain (no std::mutex, whose constexpr constructor only some C++ libraries have), so cells can
// be plain globals. The word holds 0 while nobody fills, and otherwise the fork generation of the
// process whose thread claimed it. fork() copies only the forking thread: a claim copied into a child
// names the parent's generation, which the child recognises as stale and takes over, where a copied
// locked mutex would deadlock the child on its first use of the cell.
class OnceClaim {
public:
    constexpr OnceClaim() noexcept = default;
    OnceClaim(const OnceClaim&) = delete;
    OnceClaim& operator=(const OnceClaim&) = delete;

    // Claims the right to fill; false while a thread of this process holds it. Never waits.
    bool try_claim() noexcept;
    // Gives the claim up and wakes the waiting threads, after a fill that succeeded or failed.
    void release() noexcept;
    // Returns once no thread of this process holds the claim (at once if none does).
    void wait_while_claimed() const noexcept;

private:
    std::atomic<std::uint32_t> holder_{0};
};

// Gives a claim up on every way out of a fill, an exception passing through included.
class OnceClaimRelease {
public:
    explicit OnceClaimRelease(OnceClaim& claim) noexcept : claim_(claim) {}
    ~OnceClaimRelease() { claim_.release(); }
    OnceClaimRelease(const OnceClaimRelease&) = delete;
    OnceClaimRelease& operator=(const OnceClaimRelease&) = delete;

private:
    OnceClaim& claim_;
};

}  // namespace morvane
