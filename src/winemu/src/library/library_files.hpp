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
 * take no lock, since every replacement is a rename. Where a call holds two, it takes the parent's
 * before the folder's: a deletion to look inside the folder it removes, a walk that makes folders
 * to hold each one before it lets go of the one above, so that none goes in between.
 *
 * A user's task library is private: directories are made 0700 and files 0600, set with fchmod
 * after creation so that no umask can widen (or narrow) them. A file of the library has exactly
 * one link: one with more (a hard link someone placed there, which could lead to any file of the
 * user) is refused as a symlink is, and no write ever gives a file a second name, even briefly.
 * A definition is written into an unnamed file (O_TMPFILE) and only linked into the folder once
 * it is complete, so a writer killed at any moment leaves no partial file behind. */

#include <sys/types.h>

#include <cerrno>
#include <optional>
#include <string>
#include <string_view>

#include "library/unique_fd.hpp"

namespace winemu {

// The library's directory, created first when `create`; invalid with errno set when it fails.
UniqueFd open_library(const std::string& library, bool create);

// The directory `name` inside `directory`, refused (ELOOP or ENOTDIR) when it is a symlink or no
// directory. With `create`, made first when missing. Invalid with errno set when it fails.
UniqueFd open_directory(int directory, const std::string& name, bool create = false);

// What stands at a name of the library: nothing, a file of ours (a regular file with one link),
// or anything else (a symlink, a FIFO, a device, a directory, a file with several links).
enum class EntryKind { missing, ours, foreign };
// The kind, or nothing with errno set when it cannot be learnt.
std::optional<EntryKind> entry_kind(int directory, const std::string& name);

// errno for an entry that is not one of ours: the callers answer it as access denied.
inline constexpr int foreign_entry = EPERM;

// The whole file `name` inside `directory` when it is ours and holds at most `limit` bytes (the
// size is checked before anything is read), or nothing with errno set: ENOENT when nothing is
// there, foreign_entry for what is not ours, EFBIG when it is larger than `limit`.
std::optional<std::string> read_file(int directory, const std::string& name, std::size_t limit);

// The last `limit` bytes at most of the file `name` (ours, as for read_file), starting after a
// line end when the beginning was left out, so that only whole lines are handed back.
std::optional<std::string> read_file_tail(int directory, const std::string& name, std::size_t limit);
// The same of a file already open for reading (its position moves); nothing when it is not ours.
std::optional<std::string> read_open_file_tail(int file, std::size_t limit);

// Whether `name` inside `directory` is a directory itself (a symlink to one is not).
bool is_directory(int directory, const std::string& name);
// Whether anything, symlinks included, has that name.
bool exists(int directory, const std::string& name);

// Writes `text` to `name` inside `directory`: readers see the old text or the new one, never a
// mix. The text goes into an unnamed file first; with `only_if_new` that file is linked under
// `name` (EEXIST leaves an existing file alone), else it is linked under a temporary name and
// renamed over `name`. The temporary name is fixed per destination (".new." + name), so a writer
// killed between link and rename leaves one complete file that the next write of `name` removes;
// callers hold the folder's lock. 0 or the errno; on failure no file is left.
int write_file_atomically(int directory, const std::string& name, std::string_view text, bool only_if_new);

// Text appended to a file, which can later be overwritten in place by text of the same length.
struct AppendedText {
    UniqueFd file;
    off_t offset = 0;
};

// Appends `text` to `name` inside `directory` (created when missing, refused with foreign_entry
// when not ours) in one write, so that appenders in other threads and processes never
// interleave; 0 or the errno. With `appended`, it receives where the text went.
int append_to_file(int directory, const std::string& name, std::string_view text, AppendedText* appended = nullptr);

// Overwrites the appended text with `text` (of the same length); 0 or the errno.
int overwrite_appended(AppendedText& appended, std::string_view text);

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
