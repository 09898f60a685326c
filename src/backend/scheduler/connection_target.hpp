// connection_target.hpp: ConnectionTarget, the computer a session connects to and the
// credentials it logs on there with.
// Free of platform names: the Python module includes it.
#pragma once

#include <optional>
#include <string>

#include "scheduler/secret_units.hpp"

namespace morvane::scheduler {

// Each part left out is an empty VARIANT for ITaskService::Connect: no computer is this one, no
// user the caller's own token. Texts are UTF-8; the password is kept apart, wiped when the target
// is destroyed. Kept by a session for as long as it lives, so that it can connect anew.
struct ConnectionTarget {
    std::optional<std::string> computer;
    std::optional<std::string> user;
    std::optional<std::string> domain;
    std::optional<SecretUnits> password;
};

}  // namespace morvane::scheduler
