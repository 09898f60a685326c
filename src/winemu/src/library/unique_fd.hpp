// unique_fd.hpp: an owner of one POSIX file descriptor, closed exactly once.
#pragma once

#include <unistd.h>

#include <cerrno>
#include <utility>

namespace winemu {

class UniqueFd {
public:
    UniqueFd() noexcept = default;
    explicit UniqueFd(int fd) noexcept : fd_(fd) {}
    UniqueFd(UniqueFd&& other) noexcept : fd_(std::exchange(other.fd_, -1)) {}
    UniqueFd& operator=(UniqueFd&& other) noexcept {
        UniqueFd taken(std::move(other));
        std::swap(fd_, taken.fd_);
        return *this;
    }
    UniqueFd(const UniqueFd&) = delete;
    UniqueFd& operator=(const UniqueFd&) = delete;
    // Keeps errno: a failed call's reason must survive the descriptors closed on the way out.
    ~UniqueFd() {
        if (fd_ < 0) return;
        const int saved = errno;
        ::close(fd_);
        errno = saved;
    }

    int get() const noexcept { return fd_; }
    explicit operator bool() const noexcept { return fd_ >= 0; }
    // Closes now and reports whether the close succeeded (a late write error shows up here).
    bool close() noexcept { return ::close(std::exchange(fd_, -1)) == 0; }

private:
    int fd_ = -1;
};

}  // namespace winemu
