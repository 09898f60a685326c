// library_files.hpp: the task library's directories and files, reached without following symlinks.
#pragma once

/* === Why descriptors and not paths ===
 * A path below the library is never handed to the kernel whole. Each directory is opened from its
 * parent with openat(O_NOFOLLOW | O_DIRECTORY), so a symlink that someone put inside the library
 * (in place of a folder, a piece of a long name or a task file) is refused instead of followed,
 * and no name can lead out of the library, whatever the library's own path looks like. The
 * library's path itself is the user's choice and is opened as given. Every descriptor is
 * O_CLOEXEC: the processes that tasks start inherit none of them.
 *
 * Writers serialise per folder with flock() on the folder's directory (exclusive to change what
 * the folder holds, shared to append start records), across threads and processes alike; readers
 * take no lock, since every replacement is a rename. */

#include <optional>
#include <string>
#include <string_view>

#include "unique_fd.hpp"

namespace winemu {

// The library's directory, created first when `create`; invalid with errno set when it fails.
UniqueFd open_library(const std::string& library, bool create);

// The directory `name` inside `directory`, refused (ELOOP or ENOTDIR) when it is a symlink or no
// directory. With `create`, made first when missing. Invalid with errno set when it fails.
UniqueFd open_directory(int directory, const std::string& name, bool create = false);

// The whole regular file `name` inside `directory` (never through a symlink), or nothing with
// errno set (ENOENT for anything that is no regular file).
std::optional<std::string> read_file(int directory, const std::string& name);

// Whether `name` inside `directory` is a directory itself (a symlink to one is not).
bool is_directory(int directory, const std::string& name);
// Whether anything, symlinks included, has that name.
bool exists(int directory, const std::string& name);

// Writes `text` to `name` inside `directory` through a temporary file renamed over it (readers
// see the old text or the new one, never a mix); with `only_if_new`, linked instead, so that an
// existing file is left alone (EEXIST). 0 or the errno; no temporary file is left either way.
int write_file_atomically(int directory, const std::string& name, std::string_view text, bool only_if_new);

// Appends `text` to `name` inside `directory` (created when missing) in one write, so that
// appenders in other threads and processes never interleave; 0 or the errno.
int append_to_file(int directory, const std::string& name, std::string_view text);

// flock() on a directory for the lifetime of the object (waits for it; EINTR is retried).
class DirectoryLock {
public:
    enum Kind { shared, exclusive };
    DirectoryLock(int directory, Kind kind) noexcept;
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;
    ~DirectoryLock();

private:
    int directory_;
    bool held_ = false;
};

}  // namespace winemu
