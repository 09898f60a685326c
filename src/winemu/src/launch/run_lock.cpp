// run_lock.cpp: a run is live exactly while its runner holds the run's lock.
#include "launch/run_lock.hpp"

#include <fcntl.h>
#include <sys/types.h>

#include <cerrno>

namespace winemu {
namespace {

constexpr off_t lock_base = off_t(1) << 40;  // far past any records file (they are bounded)

struct flock run_byte(std::uint32_t run, short type) {
    struct flock byte {};
    byte.l_type = type;
    byte.l_whence = SEEK_SET;
    byte.l_start = lock_base + static_cast<off_t>(run);
    byte.l_len = 1;
    return byte;
}

}  // namespace

bool lock_run(int fd, std::uint32_t run) noexcept {
    struct flock byte = run_byte(run, F_WRLCK);
    return fcntl(fd, F_OFD_SETLK, &byte) == 0;
}

bool any_run_live(int fd) noexcept {
    struct flock every = run_byte(0, F_WRLCK);
    every.l_len = off_t(1) << 32;  // the bytes of all run numbers
    if (fcntl(fd, F_OFD_GETLK, &every) != 0) return true;
    return every.l_type != F_UNLCK;
}

bool run_is_live(int fd, std::uint32_t run) noexcept {
    struct flock byte = run_byte(run, F_WRLCK);
    // A descriptor that cannot ask says nothing: take the run as live rather than call it lost.
    if (fcntl(fd, F_OFD_GETLK, &byte) != 0) return true;
    return byte.l_type != F_UNLCK;
}

}  // namespace winemu
