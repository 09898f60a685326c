// connection_target.hpp: what ITaskService::Connect connects to, decided from its four VARIANTs.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include <winemu/types.h>

#include "com/hresult_or.hpp"
#include "library/computers.hpp"

namespace winemu {

// The computer connected to (null: this one) and the account logged on there (none: the caller's
// own token, as Connect without credentials acts).
struct ConnectionTarget {
    std::shared_ptr<const Computer> computer;
    std::optional<std::string> account;
};

// Connect's answer for these arguments, in the order Windows meets its refusals: arguments of
// another type E_INVALIDARG; credentials given in part (a user without a password, a password or
// a domain without a user) E_OUTOFMEMORY, as the documentation states; an address no server can
// have (0.0.0.0, ::, 255.255.255.255) RPC_S_INVALID_NET_ADDR without trying the network;
// credentials for this computer ERROR_NOT_SUPPORTED; a name no computer has
// RPC_S_SERVER_UNAVAILABLE; then, after the other computer's latency, the logon's failure. The
// password is read where the caller keeps it and never copied.
HResultOr<ConnectionTarget> connection_target(const VARIANT& server, const VARIANT& user, const VARIANT& domain,
                                              const VARIANT& password);

// Whether the name (after an optional leading "\\") names this computer: empty, ".", "localhost",
// "127.0.0.1" or the host's own name.
bool names_this_computer(std::u16string_view name);

// This computer's name, as TargetServer and ConnectedDomain give it.
std::string this_computer_name();

}  // namespace winemu
