// lock_release_hook.cpp: flock() as libc has it, with the installed hook's step after a release.
// The test program's definition of flock is the one winemu's library binds to.
#include "lock_release_hook.hpp"

#include <dlfcn.h>
#include <sys/file.h>

#include <atomic>
#include <cerrno>
#include <utility>

namespace winemu_test {
namespace {

std::atomic<const std::function<void(int)>*> installed{nullptr};
thread_local bool in_step = false;

}  // namespace

LockReleaseHook::LockReleaseHook(std::function<void(int released)> step) : step_(std::move(step)) {
    installed.store(&step_);
}

LockReleaseHook::~LockReleaseHook() { installed.store(nullptr); }

}  // namespace winemu_test

extern "C" int flock(int fd, int operation) {
    using Flock = int (*)(int, int);
    static const auto real = reinterpret_cast<Flock>(dlsym(RTLD_NEXT, "flock"));
    if (!real) {
        errno = ENOSYS;
        return -1;
    }
    const int result = real(fd, operation);
    const auto* step = winemu_test::installed.load();
    if ((operation & LOCK_UN) && step && !winemu_test::in_step) {
        const int saved = errno;
        winemu_test::in_step = true;
        (*step)(fd);
        winemu_test::in_step = false;
        errno = saved;
    }
    return result;
}
