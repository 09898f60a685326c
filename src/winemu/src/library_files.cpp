// library_files.cpp: the task library's directories and files, reached without following symlinks.
#include "library_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "task_library.hpp"

namespace winemu {
namespace {

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR) continue;
        if (put < 0) return false;
        if (put == 0) {
            errno = EIO;
            return false;
        }
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// A file written under a temporary name beside its destination; removed unless committed.
class TempFile {
public:
    explicit TempFile(int directory) : directory_(directory) {
        static std::atomic<unsigned long long> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            // The process id keeps processes apart, the counter threads; O_EXCL settles the rest.
            std::string candidate = ".tmp." + std::to_string(getpid()) + "." +
                                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
            UniqueFd created(openat(directory, candidate.c_str(),
                                    O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
            if (created) {
                name_ = std::move(candidate);
                fd_ = std::move(created);
                return;
            }
            if (errno != EEXIST) break;
        }
        error_ = errno;
    }
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;
    ~TempFile() {
        if (name_.empty()) return;
        const int saved = errno;
        unlinkat(directory_, name_.c_str(), 0);
        errno = saved;
    }

    // 0 when the whole text is written and the file closed; else the errno.
    int write_and_close(std::string_view text) {
        if (!fd_) return error_ ? error_ : EIO;
        if (!write_all(fd_.get(), text)) return errno;
        return fd_.close() ? 0 : errno;
    }
    const std::string& name() const noexcept { return name_; }
    void committed() noexcept { name_.clear(); }  // renamed to its final name

private:
    int directory_;
    std::string name_;
    UniqueFd fd_;
    int error_ = 0;
};

}  // namespace

UniqueFd open_library(const std::string& library, bool create) {
    if (create && !ensure_directories(library)) return UniqueFd();
    return UniqueFd(open(library.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd open_directory(int directory, const std::string& name, bool create) {
    if (create && mkdirat(directory, name.c_str(), 0755) != 0 && errno != EEXIST) return UniqueFd();
    return UniqueFd(openat(directory, name.c_str(), directory_flags));
}

std::optional<std::string> read_file(int directory, const std::string& name) {
    // O_NONBLOCK: a FIFO put in the library must not hang the caller in open().
    const UniqueFd file(openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) return std::nullopt;
    struct stat status {};
    if (fstat(file.get(), &status) != 0) return std::nullopt;
    if (!S_ISREG(status.st_mode)) {
        errno = ENOENT;  // a directory, a FIFO, a device: none of them is a file of ours
        return std::nullopt;
    }
    std::string contents;
    char chunk[16384];
    while (true) {
        const ssize_t got = read(file.get(), chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return contents;
        contents.append(chunk, static_cast<std::size_t>(got));
    }
}

bool is_directory(int directory, const std::string& name) {
    struct stat status {};
    return fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(status.st_mode);
}

bool exists(int directory, const std::string& name) {
    struct stat status {};
    return fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

int write_file_atomically(int directory, const std::string& name, std::string_view text, bool only_if_new) {
    TempFile temp(directory);
    if (const int error = temp.write_and_close(text); error != 0) return error;
    if (only_if_new) {
        // linkat() refuses an existing destination atomically; the temporary name then goes away.
        return linkat(directory, temp.name().c_str(), directory, name.c_str(), 0) == 0 ? 0 : errno;
    }
    if (renameat(directory, temp.name().c_str(), directory, name.c_str()) != 0) return errno;
    temp.committed();
    return 0;
}

int append_to_file(int directory, const std::string& name, std::string_view text) {
    // O_NONBLOCK: a FIFO put in the library fails at once (no reader) instead of hanging here.
    const UniqueFd out(
        openat(directory, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0644));
    if (!out) return errno;
    ssize_t written;
    do {
        written = write(out.get(), text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) return errno;
    return written == static_cast<ssize_t>(text.size()) ? 0 : EIO;
}

DirectoryLock::DirectoryLock(int directory, Kind kind) noexcept : directory_(directory) {
    const int operation = kind == exclusive ? LOCK_EX : LOCK_SH;
    int result;
    do {
        result = flock(directory_, operation);
    } while (result != 0 && errno == EINTR);
    // Without a lock (a file system that has none) the writers still replace files atomically.
    held_ = result == 0;
}

DirectoryLock::~DirectoryLock() {
    if (!held_) return;
    const int saved = errno;
    flock(directory_, LOCK_UN);
    errno = saved;
}

}  // namespace winemu
