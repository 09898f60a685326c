// service_object.hpp: what every object of the Task Scheduler service shares: the service life it
// belongs to, and the computer whose service it stands for.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>

#include "com/dispatch_object.hpp"
#include "library/computers.hpp"
#include "service/service_generation.hpp"

namespace winemu {

// What a call through a connection to `computer` answers once it was taken off the network, as an
// RPC proxy whose server cannot be reached answers; nothing for this computer (null) or one still
// there.
inline std::optional<HRESULT> unreachable(const Computer* computer) noexcept {
    if (!computer || !computer->removed()) return std::nullopt;
    return HRESULT_FROM_WIN32(RPC_S_SERVER_UNAVAILABLE);
}

// A DispatchObject that stands for something the service keeps: once the service has gone away
// (winemu_disconnect_service), or the other computer it belongs to was taken off the network,
// each of its methods answers as the proxy of a server that ended, except those of IUnknown and
// IDispatch, which the caller's side answers on its own (and those winemu does not provide, which
// answer E_NOTIMPL whatever happened to the service).
template <typename Interface, const IID& OwnIid>
class ServiceObject : public DispatchObject<Interface, OwnIid> {
public:
    // The HRESULT of the disconnection that ended the service this object was made under.
    std::optional<HRESULT> disconnection() const noexcept {
        if (const auto ended = disconnection_since(generation_)) return ended;
        return unreachable(computer_.get());
    }
    // The other computer whose service made the object; null for this computer's.
    const std::shared_ptr<const Computer>& computer() const noexcept { return computer_; }

protected:
    ServiceObject() noexcept = default;
    explicit ServiceObject(std::shared_ptr<const Computer> computer) noexcept : computer_(std::move(computer)) {}

private:
    const std::uint64_t generation_ = service_generation();
    const std::shared_ptr<const Computer> computer_;
};

}  // namespace winemu
