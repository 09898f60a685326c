// library_files.cpp: the task library's directories and files, reached without following symlinks.
#include "library/library_files.hpp"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>

#include "library/task_library.hpp"

namespace winemu {
namespace {

constexpr int directory_flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;

// renameat2(RENAME_NOREPLACE), made as the system call itself: the runner's C library (musl) has
// no wrapper for it. 0, or -1 with errno set.
int rename_without_replacing(int directory, const std::string& from, const std::string& to) {
    constexpr unsigned no_replace = 1;  // RENAME_NOREPLACE of <linux/fs.h>
    return static_cast<int>(syscall(SYS_renameat2, directory, from.c_str(), directory, to.c_str(), no_replace));
}

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

constexpr mode_t private_directory = 0700;
constexpr mode_t private_file = 0600;

// The text in a file of its own that has no name yet (O_TMPFILE): it gets one only when whole.
// Where the file system has no unnamed files, a named one stands in (under the temporary name).
class UnnamedFile {
public:
    UnnamedFile(int directory, const std::string& fallback_name) : directory_(directory) {
        fd_ = UniqueFd(openat(directory, ".", O_WRONLY | O_TMPFILE | O_CLOEXEC, private_file));
        if (!fd_ && (errno == EOPNOTSUPP || errno == EISDIR || errno == EINVAL)) {
            unlinkat(directory, fallback_name.c_str(), 0);  // what a killed writer left
            fd_ = UniqueFd(openat(directory, fallback_name.c_str(),
                                  O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, private_file));
            if (fd_) named_ = fallback_name;
        }
        if (!fd_) error_ = errno;
    }
    UnnamedFile(const UnnamedFile&) = delete;
    UnnamedFile& operator=(const UnnamedFile&) = delete;
    ~UnnamedFile() {
        if (named_.empty()) return;
        const int saved = errno;
        unlinkat(directory_, named_.c_str(), 0);
        errno = saved;
    }

    // 0 when the whole text is written to the file; else the errno.
    int write(std::string_view text) {
        if (!fd_) return error_ ? error_ : EIO;
        fchmod(fd_.get(), private_file);  // whatever the umask took away or let through
        if (!write_all(fd_.get(), text)) return errno;
        return 0;
    }

    // Gives the file the name `name` (EEXIST when taken); 0 or the errno.
    int link_as(const std::string& name) {
        if (!named_.empty()) {
            if (rename_without_replacing(directory_, named_, name) != 0) return errno;
            named_.clear();
            return 0;
        }
        // Through /proc: linking a descriptor directly (AT_EMPTY_PATH) needs a capability.
        const std::string self = "/proc/self/fd/" + std::to_string(fd_.get());
        if (linkat(AT_FDCWD, self.c_str(), directory_, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return 0;
        const int error = errno;
        if (error == ENOENT && linkat(fd_.get(), "", directory_, name.c_str(), AT_EMPTY_PATH) == 0) return 0;
        return error;
    }

    // Puts the file in place of `name` (replacing what is there) through `temporary`.
    int replace(const std::string& name, const std::string& temporary) {
        if (!named_.empty()) {
            if (renameat(directory_, named_.c_str(), directory_, name.c_str()) != 0) return errno;
            named_.clear();
            return 0;
        }
        unlinkat(directory_, temporary.c_str(), 0);  // what a killed writer left
        if (const int error = link_as(temporary); error != 0) return error;
        if (renameat(directory_, temporary.c_str(), directory_, name.c_str()) == 0) return 0;
        const int error = errno;
        unlinkat(directory_, temporary.c_str(), 0);
        return error;
    }

private:
    int directory_;
    UniqueFd fd_;
    int error_ = 0;
    std::string named_;  // set only for the named stand-in
};

// Whether the open file is one of ours; sets errno to foreign_entry when not.
bool is_ours(const struct stat& status) {
    // No link at all: replaced or deleted since it was opened, which only a writer of ours does.
    if (S_ISREG(status.st_mode) && status.st_nlink <= 1) return true;
    errno = foreign_entry;
    return false;
}

// Opens `name` for reading when it is ours: a symlink or FIFO is refused without blocking.
UniqueFd open_our_file(int directory, const std::string& name, struct stat& status) {
    // O_NONBLOCK: a FIFO put in the library must not hang the caller in open().
    UniqueFd file(openat(directory, name.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    if (!file) {
        if (errno == ELOOP || errno == ENXIO) errno = foreign_entry;
        return file;
    }
    if (fstat(file.get(), &status) != 0 || !is_ours(status)) return UniqueFd();
    return file;
}

// Reads from the current position to the end, but never more than `limit` bytes (the file may
// grow while it is read); EFBIG when there is more.
std::optional<std::string> read_rest(int fd, std::size_t expected, std::size_t limit) {
    std::string contents;
    contents.reserve(std::min(expected, limit));
    char chunk[16384];
    while (true) {
        const ssize_t got = read(fd, chunk, sizeof chunk);
        if (got < 0 && errno == EINTR) continue;
        if (got < 0) return std::nullopt;
        if (got == 0) return contents;
        if (contents.size() + static_cast<std::size_t>(got) > limit) {
            errno = EFBIG;
            return std::nullopt;
        }
        contents.append(chunk, static_cast<std::size_t>(got));
    }
}

}  // namespace

UniqueFd open_library(const std::string& library, bool create) {
    if (create && !ensure_directories(library)) return UniqueFd();
    return UniqueFd(open(library.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

UniqueFd open_directory(int directory, const std::string& name, bool create) {
    bool made = false;
    if (create) {
        made = mkdirat(directory, name.c_str(), private_directory) == 0;
        if (!made && errno != EEXIST) return UniqueFd();
    }
    UniqueFd opened(openat(directory, name.c_str(), directory_flags));
    if (opened && made) fchmod(opened.get(), private_directory);
    return opened;
}

std::optional<EntryKind> entry_kind(int directory, const std::string& name) {
    struct stat status {};
    if (fstatat(directory, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        if (errno == ENOENT) return EntryKind::missing;
        return std::nullopt;
    }
    return S_ISREG(status.st_mode) && status.st_nlink == 1 ? EntryKind::ours : EntryKind::foreign;
}

std::optional<std::string> read_file(int directory, const std::string& name, std::size_t limit) {
    struct stat status {};
    const UniqueFd file = open_our_file(directory, name, status);
    if (!file) return std::nullopt;
    if (status.st_size < 0 || static_cast<std::uintmax_t>(status.st_size) > limit) {
        errno = EFBIG;
        return std::nullopt;
    }
    return read_rest(file.get(), static_cast<std::size_t>(status.st_size), limit);
}

namespace {

// The last `limit` bytes at most of an open file of ours, from a line's start.
std::optional<std::string> tail_of(int file, const struct stat& status, std::size_t limit) {
    const auto size = static_cast<std::uintmax_t>(std::max<off_t>(status.st_size, 0));
    if (size <= limit) return read_rest(file, static_cast<std::size_t>(size), limit);
    // One byte before the part kept: it tells whether that part starts a line.
    const off_t start = static_cast<off_t>(size - limit) - 1;
    if (lseek(file, start, SEEK_SET) < 0) return std::nullopt;
    auto text = read_rest(file, limit + 1, limit + 1);
    if (!text) {
        if (errno != EFBIG) return std::nullopt;
        text = std::string();  // grown meanwhile: what fits is not worth a second try
    }
    const std::size_t line_end = text->find('\n');
    text->erase(0, line_end == std::string::npos ? text->size() : line_end + 1);
    return text;
}

}  // namespace

std::optional<std::string> read_file_tail(int directory, const std::string& name, std::size_t limit) {
    struct stat status {};
    const UniqueFd file = open_our_file(directory, name, status);
    if (!file) return std::nullopt;
    return tail_of(file.get(), status, limit);
}

std::optional<std::string> read_open_file_tail(int file, std::size_t limit) {
    struct stat status {};
    if (fstat(file, &status) != 0 || !is_ours(status)) return std::nullopt;
    if (lseek(file, 0, SEEK_SET) < 0) return std::nullopt;
    return tail_of(file, status, limit);
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
    const std::string temporary = ".new." + name;
    UnnamedFile file(directory, temporary);
    if (const int error = file.write(text); error != 0) return error;
    return only_if_new ? file.link_as(name) : file.replace(name, temporary);
}

int append_to_file(int directory, const std::string& name, std::string_view text, AppendedText* appended) {
    // O_NONBLOCK: a FIFO put in the library fails at once (no reader) instead of hanging here.
    UniqueFd out(openat(directory, name.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC,
                        private_file));
    if (!out) return errno == ELOOP || errno == ENXIO || errno == EISDIR ? foreign_entry : errno;
    struct stat status {};
    if (fstat(out.get(), &status) != 0) return errno;
    if (!is_ours(status)) return foreign_entry;
    if ((status.st_mode & 07777) != private_file) fchmod(out.get(), private_file);
    ssize_t written;
    do {
        written = write(out.get(), text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    if (written < 0) return errno;
    if (written != static_cast<ssize_t>(text.size())) return EIO;
    if (!appended) return 0;
    // With O_APPEND the position is the end of this write, whatever others appended before it.
    const off_t end = lseek(out.get(), 0, SEEK_CUR);
    if (end < 0) return errno;
    appended->offset = end - static_cast<off_t>(text.size());
    appended->file = std::move(out);
    return 0;
}

int overwrite_appended(AppendedText& appended, std::string_view text) {
    // pwrite() on an O_APPEND descriptor would append on Linux: the flag goes first.
    const int flags = fcntl(appended.file.get(), F_GETFL);
    if (flags < 0 || fcntl(appended.file.get(), F_SETFL, flags & ~O_APPEND) != 0) return errno;
    const ssize_t written = pwrite(appended.file.get(), text.data(), text.size(), appended.offset);
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
