// service_generation.cpp: the service's life, ended by winemu_disconnect_service.
#include "service/service_generation.hpp"

#include <atomic>

#include <winemu/control.h>

namespace winemu {
namespace {

std::atomic<std::uint64_t> generation{0};
std::atomic<HRESULT> ended_with{RPC_E_DISCONNECTED};

}  // namespace

std::uint64_t service_generation() noexcept { return generation.load(std::memory_order_acquire); }

std::optional<HRESULT> disconnection_since(std::uint64_t made_in) noexcept {
    // The one load on every service call while the service lives.
    if (generation.load(std::memory_order_acquire) == made_in) return std::nullopt;
    return ended_with.load(std::memory_order_relaxed);
}

}  // namespace winemu

// The answer is stored before the new life begins, so that an object that sees the new life also
// sees the answer.
extern "C" WINEMU_API void winemu_disconnect_service(HRESULT hresult) {
    winemu::ended_with.store(hresult != 0 ? hresult : RPC_E_DISCONNECTED, std::memory_order_relaxed);
    winemu::generation.fetch_add(1, std::memory_order_release);
}
