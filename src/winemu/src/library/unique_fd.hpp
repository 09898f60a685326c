// unique_fd.hpp: an owner of one POSIX file descriptor, closed exactly once.
#pragma once

#include <unistd.h>

#include <cerrno>

#include "owners/unique_handle.hpp"

namespace winemu {

// Keeps errno: a failed call's reason must survive the descriptors closed on the way out.
inline void close_keeping_errno(int fd) noexcept {
    const int saved = errno;
    ::close(fd);
    errno = saved;
}

using UniqueFd = morvane::UniqueHandle<int, &close_keeping_errno, -1>;

}  // namespace winemu
