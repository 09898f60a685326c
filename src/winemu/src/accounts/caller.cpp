// caller.cpp: the caller of a connection.
#include "accounts/caller.hpp"

#include <unistd.h>

#include "control/service_environment.hpp"

namespace winemu {

// Until the computer keeps accounts, every connection acts as the process's user, an administrator.
Caller connection_caller(const FollowedLibrary& library) {
    char host[256] = {};
    if (gethostname(host, sizeof host - 1) != 0) host[0] = '\0';
    Caller caller;
    caller.domain = host;
    caller.name = library.account().value_or(std::string(service_environment()->value("USER").value_or("")));
    caller.sid = "S-1-5-21-0-0-0-1000";
    caller.group_sids = {everyone_sid, interactive_sid, authenticated_users_sid, administrators_sid, users_sid};
    caller.administrator = true;
    return caller;
}

}  // namespace winemu
