// service_generation.hpp: the lives of the emulated service, which winemu_disconnect_service ends.
#pragma once

#include <cstdint>
#include <optional>

#include <winemu/types.h>

namespace winemu {

// The service's life now: each disconnection starts a new one. An object records the life it
// was made in.
std::uint64_t service_generation() noexcept;

// What a call on an object made in `generation` answers once the service has gone away since
// (the HRESULT of the latest disconnection); nothing while that life goes on.
std::optional<HRESULT> disconnection_since(std::uint64_t generation) noexcept;

}  // namespace winemu
