// service_object.hpp: what every object of the Task Scheduler service shares: the service life it belongs to.
#pragma once

#include <cstdint>
#include <optional>

#include "com/dispatch_object.hpp"
#include "service/service_generation.hpp"

namespace winemu {

// A DispatchObject that stands for something the service keeps: once the service has gone away
// (winemu_disconnect_service), each of its methods answers as the proxy of a server that ended,
// except those of IUnknown and IDispatch, which the caller's side answers on its own (and those
// winemu does not provide, which answer E_NOTIMPL whatever happened to the service).
template <typename Interface, const IID& OwnIid>
class ServiceObject : public DispatchObject<Interface, OwnIid> {
public:
    // The HRESULT of the disconnection that ended the service this object was made under.
    std::optional<HRESULT> disconnection() const noexcept { return disconnection_since(generation_); }

protected:
    ServiceObject() noexcept = default;

private:
    const std::uint64_t generation_ = service_generation();
};

}  // namespace winemu
