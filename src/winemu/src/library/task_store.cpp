// task_store.cpp: the task library's files: reading, writing atomically, deleting.
#include "library/task_store.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "library/library_files.hpp"
#include "library/task_limits.hpp"
#include "library/task_paths.hpp"
#include "library/unique_fd.hpp"
#include "base/utf.hpp"

namespace winemu {
namespace {

const HRESULT file_not_found = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT path_not_found = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

}  // namespace

HRESULT hresult_from_errno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return path_not_found;
    case EACCES:
    case EPERM:
    case EROFS: return E_ACCESSDENIED;
    case EEXIST: return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    case ENOTEMPTY: return HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case ENOMEM: return E_OUTOFMEMORY;
    case ENOSPC: return HRESULT_FROM_WIN32(112);  // ERROR_DISK_FULL
    case EFBIG: return HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE);  // a file size limit (RLIMIT_FSIZE)
    default: return E_FAIL;
    }
}

namespace {

// Something that is not ours (a symlink, a file where a directory belongs) stands in the way of
// a write: refused rather than followed or replaced.
HRESULT write_refusal(int error) {
    return error == ELOOP || error == ENOTDIR || error == EISDIR ? E_ACCESSDENIED : hresult_from_errno(error);
}

// A task's file that winemu did not write (a symlink, a FIFO, a directory, a file with several
// links) is answered the same way by every call, lookup, registration, deletion and run alike:
// access denied, as Windows answers for a task file that the caller may not open. It is never
// followed, replaced or deleted.
const HRESULT foreign_task = E_ACCESSDENIED;

// For a lookup, a symlink or a file where a directory belongs counts as nothing there.
bool is_missing(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP; }

// A folder's not-found code turned into the code of a task inside it: any missing folder on a
// task's path is a missing path, but the root (even with no library yet) is always there.
HRESULT missing_folder_of_task(HRESULT folder_code, const ResolvedTaskPath& task) {
    if (folder_code != file_not_found && folder_code != path_not_found) return folder_code;
    return task.elements.size() == 1 ? file_not_found : path_not_found;
}

// The directories from a folder to an entry's files: none, or the pieces of a split name.
struct EntryDirectories {
    int folder;
    std::vector<UniqueFd> pieces;  // one per "c." directory, outermost first
    int innermost() const noexcept { return pieces.empty() ? folder : pieces.back().get(); }
};

// False with errno set when a piece directory is missing (or, with create, cannot be made).
bool open_entry_directories(EntryDirectories& entry, const EntryName& name, bool create) {
    for (const std::string& piece : name.pieces) {
        UniqueFd next = open_directory(entry.innermost(), piece, create);
        if (!next) return false;
        entry.pieces.push_back(std::move(next));
    }
    return true;
}

std::u16string spelling_in(int folder, const std::u16string& given) {
    const auto text = read_file(folder, folder_spelling_file, largest_spelling_file);
    if (!text) return given;
    auto spelling = utf16_from_utf8(*text);
    if (!spelling || fold_case(*spelling) != fold_case(given)) return given;
    return std::move(*spelling);
}

// Walks from the library to the folder of the path's first `levels` elements, one directory at a
// time. When `spelled` is given, it receives the spelling of each element. Not found:
// ERROR_FILE_NOT_FOUND when only the folder's own directory is missing, ERROR_PATH_NOT_FOUND when
// one above it is.
HResultOr<UniqueFd> open_folder(const std::string& library, const ResolvedTaskPath& path, std::size_t levels,
                                PathElements* spelled = nullptr) {
    UniqueFd current = open_library(library, false);
    const auto failure = [&](std::size_t depth) {
        if (!is_missing(errno)) return HResultOr<UniqueFd>::failure(hresult_from_errno(errno));
        return HResultOr<UniqueFd>::failure(depth + 1 >= levels ? file_not_found : path_not_found);
    };
    if (!current) return failure(0);
    for (std::size_t depth = 0; depth < levels; ++depth) {
        const EntryName& name = path.entries[depth];
        EntryDirectories entry{current.get(), {}};
        if (!open_entry_directories(entry, name, false)) return failure(depth);
        UniqueFd next = open_directory(entry.innermost(), name.folder());
        if (!next) return failure(depth);
        if (spelled) spelled->push_back(spelling_in(next.get(), path.elements[depth]));
        current = std::move(next);
    }
    return current;
}

// Whether two open descriptors are the same directory: a folder deleted and made again under its
// name is another.
bool is_same_directory(int one, int other) {
    struct stat first {}, second {};
    return fstat(one, &first) == 0 && fstat(other, &second) == 0 && first.st_dev == second.st_dev &&
           first.st_ino == second.st_ino;
}

// Deletes the folder `name` inside `directory` when it holds nothing but its spelling and
// descriptor files; the one directory listing of the library, made only when a deletion names a
// folder. Called with the parent's exclusive lock held (no folder is made or opened there
// meanwhile); the folder's own lock keeps a task or a subfolder from being made in it while it is
// looked at, since a writer checks under that lock that the folder is still there. With `only`
// (an open directory), a folder of that name that is another directory (that one was deleted, and
// another caller made the name again) stays: ERROR_FILE_NOT_FOUND.
HRESULT remove_empty_folder(int directory, const EntryName& name, int only = -1) {
    UniqueFd folder = open_directory(directory, name.folder());
    if (!folder) return is_missing(errno) ? file_not_found : hresult_from_errno(errno);
    if (only >= 0 && !is_same_directory(folder.get(), only)) return file_not_found;
    const DirectoryLock lock(folder.get(), DirectoryLock::exclusive);
    const int listed = dup(folder.get());
    DIR* entries = listed < 0 ? nullptr : fdopendir(listed);
    if (!entries) {
        if (listed >= 0) close(listed);
        return hresult_from_errno(errno);
    }
    bool empty = true;
    while (const dirent* entry = readdir(entries)) {
        const std::string_view entry_name = entry->d_name;
        if (entry_name != "." && entry_name != ".." && entry_name != folder_spelling_file &&
            entry_name != folder_security_file)
            empty = false;
    }
    closedir(entries);
    if (!empty) return HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
    unlinkat(folder.get(), folder_security_file, 0);
    unlinkat(folder.get(), folder_spelling_file, 0);
    if (unlinkat(directory, name.folder().c_str(), AT_REMOVEDIR) != 0) return hresult_from_errno(errno);
    return S_OK;
}

// A folder that a registration made, with what it takes to remove it again.
struct MadeFolder {
    int parent;                   // the directory of the folder that holds it (owned by the chain)
    std::vector<UniqueFd> pieces;  // the "c." directories of a split name, outermost first
    EntryName name;
    std::size_t depth;            // its place on the path, 0 for a folder of the root (its directory
                                  // is the chain's after the library's and `depth` others)
};

// Whether the open directory was deleted since it was opened (a folder removed by another caller
// while this one walked through it): nothing can be made in it any more.
bool is_removed(int directory) {
    struct stat status {};
    return fstat(directory, &status) == 0 && status.st_nlink == 0;
}

// A walk that found a folder on its way deleted meanwhile starts again from the library, at most
// this many times; a path deleted and made again that often answers as missing.
constexpr int most_walks = 16;

// Opens the folder `element` inside `parent`, creating it when missing (then noted in `made`).
// Called with the parent's lock held, so that a folder and a task never take the same name, and
// a folder made by several processes at once is made once, with the spelling of the first.
// A parent deleted before its lock was taken sets `vanished` (ERROR_PATH_NOT_FOUND).
HResultOr<UniqueFd> open_or_create_folder(int parent, const std::u16string& element, const EntryName& name,
                                          std::size_t depth, PathElements& spelled, std::vector<MadeFolder>& made,
                                          bool& vanished) {
    if (is_removed(parent)) {
        vanished = true;
        return HResultOr<UniqueFd>::failure(path_not_found);
    }
    EntryDirectories entry{parent, {}};
    if (!open_entry_directories(entry, name, true)) return HResultOr<UniqueFd>::failure(write_refusal(errno));
    UniqueFd folder = open_directory(entry.innermost(), name.folder());
    if (folder) {
        spelled.push_back(spelling_in(folder.get(), element));
        return folder;
    }
    if (errno != ENOENT) return HResultOr<UniqueFd>::failure(write_refusal(errno));
    if (exists(entry.innermost(), name.definition()))
        return HResultOr<UniqueFd>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    folder = open_directory(entry.innermost(), name.folder(), true);
    if (!folder) return HResultOr<UniqueFd>::failure(write_refusal(errno));
    made.push_back({parent, std::move(entry.pieces), name, depth});
    // The spelling is a nicety: without it the folder shows the spelling of each caller.
    if (const auto utf8 = utf8_from_utf16(element))
        write_file_atomically(folder.get(), folder_spelling_file, *utf8, false);
    spelled.push_back(element);
    return folder;
}

// The folders from the library down to a task's folder, and those of them this call made, with
// the innermost one's lock held. Unless kept, the made ones are removed again, innermost first,
// so that a registration that fails changes nothing: no folder of it stays to answer lookups or
// to fix the next caller's spelling.
class OpenedFolders {
public:
    OpenedFolders() = default;
    OpenedFolders(OpenedFolders&&) = default;
    OpenedFolders& operator=(OpenedFolders&&) = delete;
    OpenedFolders(const OpenedFolders&) = delete;
    ~OpenedFolders() {
        // Let go first: removing a made folder takes its lock again, through another descriptor.
        held_.reset();
        if (kept_) return;
        const int saved = errno;
        for (std::size_t i = made.size(); i-- > 0;) remove_made(made[i], chain[made[i].depth + 1].get());
        errno = saved;
    }
    int innermost() const noexcept { return chain.back().get(); }
    void keep() noexcept { kept_ = true; }
    // Locks the innermost folder, then lets go of the lock held until now (its parent's).
    void hold_innermost() { held_ = std::make_unique<DirectoryLock>(innermost(), DirectoryLock::exclusive); }

    std::vector<UniqueFd> chain;  // the library's directory, then one per folder
    std::vector<MadeFolder> made;
    PathElements spelled;

private:
    // Only the folder this call made, and only while it is empty: another writer may have put a
    // task in it meanwhile, or deleted it and made the name again (that folder is theirs). Under
    // the folder's own lock, as every deletion: a writer that found it there under that lock
    // makes its task or subfolder in it before it can go. `directory`: the folder as made.
    static void remove_made(MadeFolder& folder, int directory) {
        const DirectoryLock lock(folder.parent, DirectoryLock::exclusive);
        const int holder = folder.pieces.empty() ? folder.parent : folder.pieces.back().get();
        if (const HRESULT removed = remove_empty_folder(holder, folder.name, directory);
            removed != S_OK && removed != file_not_found)
            return;
        for (std::size_t i = folder.pieces.size(); i-- > 0;) {
            const int piece_holder = i == 0 ? folder.parent : folder.pieces[i - 1].get();
            if (unlinkat(piece_holder, folder.name.pieces[i].c_str(), AT_REMOVEDIR) != 0) break;
        }
    }
    std::unique_ptr<DirectoryLock> held_;
    bool kept_ = false;
};

// Makes every folder of the path's first `levels` elements that is missing; gives back each one
// and the spelling of each, with the innermost one locked. Hand over hand: a folder's lock is
// taken before its parent's is let go (parent before child, the order in which every deletion
// takes them), so no folder on the way can be deleted between being found and being used, and
// none can make a walk start again however the callers interleave. Starts again only when the
// library's directory itself was deleted meanwhile.
HResultOr<OpenedFolders> create_folders(const std::string& library, const ResolvedTaskPath& path, std::size_t levels) {
    for (int walk = 1;; ++walk) {
        OpenedFolders opened;
        opened.chain.push_back(open_library(library, true));
        if (!opened.chain.back()) return HResultOr<OpenedFolders>::failure(write_refusal(errno));
        opened.hold_innermost();
        bool vanished = false;
        HRESULT failure = S_OK;
        for (std::size_t depth = 0; depth < levels; ++depth) {
            auto next = open_or_create_folder(opened.innermost(), path.elements[depth], path.entries[depth], depth,
                                              opened.spelled, opened.made, vanished);
            if (!next.ok()) {
                failure = next.error();
                break;
            }
            opened.chain.push_back(std::move(next.value()));
            opened.hold_innermost();
        }
        if (SUCCEEDED(failure)) return opened;
        if (!vanished || walk == most_walks) return HResultOr<OpenedFolders>::failure(failure);
    }
}

/* A task's file: its path line, then, when it keeps one, a line "security " and its descriptor's
 * SDDL, then the definition. No definition can start with "security " (XML starts with '<', a
 * byte order mark or blanks), so files written before descriptors were kept read the same. */
constexpr std::string_view security_line = "security ";

std::string task_file_text(const StoredTask& task) {
    const auto path = utf8_from_utf16(task.path);
    std::string text = (path ? *path : std::string()) + "\n";
    if (!task.security.empty()) text.append(security_line).append(task.security).append("\n");
    return text + task.xml;
}

std::optional<StoredTask> parse_task_file(const std::string& text) {
    const std::size_t line_end = text.find('\n');
    if (line_end == std::string::npos) return std::nullopt;
    auto path = utf16_from_utf8(std::string_view(text).substr(0, line_end));
    if (!path) return std::nullopt;
    std::size_t definition = line_end + 1;
    std::string security;
    if (std::string_view(text).substr(definition).starts_with(security_line)) {
        const std::size_t security_end = text.find('\n', definition);
        if (security_end == std::string::npos) return std::nullopt;
        security = text.substr(definition + security_line.size(), security_end - definition - security_line.size());
        definition = security_end + 1;
    }
    return StoredTask{std::move(*path), text.substr(definition), std::move(security)};
}

// A missing task: a folder of that name counts as a path, as Windows 8 and later answer.
HRESULT missing_task(int directory, const EntryName& name) {
    return is_directory(directory, name.folder()) ? path_not_found : file_not_found;
}

// Where a task's files are named: inside an open directory, or (directory AT_FDCWD, prefix the
// library's path and '/') by the path of a task of the root folder.
struct EntryPlace {
    int directory;
    std::string prefix;
    std::string of(const std::string& entry) const { return prefix + entry; }
};

// The task read from its definition file (`text`, or the errno of reading it).
HResultOr<StoredTask> task_from_definition(const EntryPlace& place, const ResolvedTaskPath& path,
                                           std::optional<std::string> text, int error) {
    const EntryName& name = path.entries.back();
    if (!text) {
        if (error == ENOENT)
            return HResultOr<StoredTask>::failure(
                is_directory(place.directory, place.of(name.folder())) ? path_not_found : file_not_found);
        if (error == foreign_entry) return HResultOr<StoredTask>::failure(foreign_task);
        if (error == EFBIG) return HResultOr<StoredTask>::failure(SCHED_E_INVALID_TASK_HASH);
        return HResultOr<StoredTask>::failure(hresult_from_errno(error));
    }
    // A file that lost its path line, or whose path (edited by hand) is not the task's own, is
    // damaged: Windows answers a task file changed behind its back so.
    auto task = parse_task_file(*text);
    if (!task || fold_case(task->path) != path.folded) return HResultOr<StoredTask>::failure(SCHED_E_INVALID_TASK_HASH);
    return std::move(*task);
}

// A task of the root folder whose name fits one file name, looked up by its path: a missing task
// costs two failed lookups (a look at a name, cheaper than a failed open) and no descriptor, where
// opening the library's directory costs more than both (and, for threads of one process, a write
// to the shared descriptor table). Like any lookup of a name in a directory, it needs the library
// searchable only: a library that cannot be listed still finds its root tasks by name, where
// walking into folders and listing refuse it. Only the last element of the path is the library's
// own, and it is never followed, as in the walk. Gives nothing when the walk must answer.
std::optional<HResultOr<StoredTask>> load_root_task(const std::string& library, const ResolvedTaskPath& path) {
    if (path.elements.size() != 1) return std::nullopt;
    const EntryName& name = path.entries.front();
    if (!name.pieces.empty()) return std::nullopt;
    // "LIBRARY/t.NAME", made once; its "t." becomes "d." to look for a folder of that name.
    std::string entry;
    entry.reserve(library.size() + 3 + name.escaped.size());
    entry.append(library).append("/t.").append(name.escaped);
    if (entry_kind(AT_FDCWD, entry) == EntryKind::missing) {
        entry[library.size() + 1] = 'd';
        return HResultOr<StoredTask>::failure(is_directory(AT_FDCWD, entry) ? path_not_found : file_not_found);
    }
    const EntryPlace root{AT_FDCWD, library + "/"};
    std::optional<std::string> text = read_file(root.directory, entry, largest_task_file);
    const int error = text ? 0 : errno;
    // Anything else (a library that is no directory, a path too long, no descriptor left) is the walk's.
    if (error != 0 && error != ENOENT && error != foreign_entry && error != EFBIG) return std::nullopt;
    return task_from_definition(root, path, std::move(text), error);
}

// The open folder of a task and the directory that holds the task's files.
struct TaskLocation {
    UniqueFd folder;
    EntryDirectories entry;
};

// Finds where the task's files are (they need not exist): the task's not-found codes otherwise.
HResultOr<TaskLocation> locate_task(const std::string& library, const ResolvedTaskPath& path) {
    auto folder = open_folder(library, path, path.elements.size() - 1);
    if (!folder.ok()) return HResultOr<TaskLocation>::failure(missing_folder_of_task(folder.error(), path));
    TaskLocation location{std::move(folder.value()), {}};
    location.entry.folder = location.folder.get();
    if (!open_entry_directories(location.entry, path.entries.back(), false))
        return HResultOr<TaskLocation>::failure(is_missing(errno) ? file_not_found : hresult_from_errno(errno));
    return location;
}

// A task's start records file, opened for reading inside the directory that holds the task's files.
UniqueFd open_runs_file(int directory, const EntryName& name) {
    return UniqueFd(openat(directory, name.runs().c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
}

// The names inside a directory, "." and ".." aside; empty when it cannot be listed.
std::vector<std::string> directory_names(int directory) {
    std::vector<std::string> names;
    const int listed = dup(directory);
    DIR* entries = listed < 0 ? nullptr : fdopendir(listed);
    if (!entries) {
        if (listed >= 0) close(listed);
        return names;
    }
    while (const dirent* entry = readdir(entries)) {
        const std::string_view name = entry->d_name;
        if (name != "." && name != "..") names.emplace_back(name);
    }
    closedir(entries);
    return names;
}

// Pieces of one split name nest no deeper than the longest element needs.
constexpr int deepest_pieces = 8;

// Lists one directory of a folder: the folder's own, or a "c." directory holding the rest of
// split names whose escaped form begins with `prefix`.
void list_directory(int directory, const std::string& prefix, const PathElements& folder, int depth,
                    ListedEntries entries, FolderListing& listing, const ListedTaskVisitor& visit) {
    const auto found = [&](ListedTask task) {
        if (visit) visit(std::move(task));
        else listing.tasks.push_back(std::move(task));
    };
    for (const std::string& file : directory_names(directory)) {
        const std::string_view kind = std::string_view(file).substr(0, 2);
        const std::string escaped = prefix + file.substr(std::min<std::size_t>(2, file.size()));
        if (kind == "c.") {
            if (depth >= deepest_pieces) continue;
            if (const UniqueFd pieces = open_directory(directory, file))
                list_directory(pieces.get(), escaped, folder, depth + 1, entries, listing, visit);
            continue;
        }
        if (kind != (entries == ListedEntries::folders ? "d." : "t.")) continue;
        auto element = element_from_escaped(escaped);
        if (!element) continue;  // no name that the library made
        if (kind == "d.") {
            if (const UniqueFd subfolder = open_directory(directory, file)) {
                listing.folders.push_back(spelling_in(subfolder.get(), *element));
                auto security = read_file(subfolder.get(), folder_security_file, largest_security_descriptor);
                listing.folder_security.push_back(security ? std::move(*security) : std::string());
            }
            continue;
        }
        PathElements path = folder;
        path.push_back(*element);
        auto text = read_file(directory, file, largest_task_file);
        if (!text && errno != EFBIG) continue;  // deleted meanwhile, not ours, or unreadable
        auto task = text ? parse_task_file(*text) : std::nullopt;
        if (!task || fold_case(task->path) != fold_case(display_path(path))) {
            found({std::move(*element), StoredTask{display_path(path), {}, {}}, true});
            continue;
        }
        std::u16string name = task->path.substr(task->path.find_last_of(u'\\') + 1);
        found({std::move(name), std::move(*task), false});
    }
}

std::string kept_security(int directory) {
    auto text = read_file(directory, folder_security_file, largest_security_descriptor);
    return text ? std::move(*text) : std::string();
}

}  // namespace

HResultOr<PathElements> find_folder(const std::string& library, const PathElements& folder) {
    // The root is always there, even before the library's directory is made: nothing to open.
    if (folder.empty()) return folder;
    PathElements spelled;
    if (auto opened = open_folder(library, ResolvedTaskPath(folder), folder.size(), &spelled); !opened.ok())
        return HResultOr<PathElements>::failure(opened.error());
    return spelled;
}

HResultOr<FolderListing> list_folder(const std::string& library, const PathElements& folder, ListedEntries entries,
                                     const ListedTaskVisitor& visit) {
    auto opened = open_folder(library, ResolvedTaskPath(folder), folder.size());
    if (!opened.ok()) {
        // The root is there before the library's directory is: it holds nothing yet.
        if (folder.empty() && opened.error() == file_not_found) return FolderListing{};
        return HResultOr<FolderListing>::failure(opened.error());
    }
    FolderListing listing;
    listing.security = kept_security(opened.value().get());
    list_directory(opened.value().get(), {}, folder, 0, entries, listing, visit);
    listing.directory = std::move(opened.value());
    return listing;
}

HResultOr<StoredTask> load_task(const std::string& library, const ResolvedTaskPath& path) {
    if (auto answer = load_root_task(library, path)) return std::move(*answer);
    auto location = locate_task(library, path);
    if (!location.ok()) return HResultOr<StoredTask>::failure(location.error());
    const EntryPlace place{location.value().entry.innermost(), {}};
    auto text = read_file(place.directory, path.entries.back().definition(), largest_task_file);
    return task_from_definition(place, path, std::move(text), text ? 0 : errno);
}

namespace {

// store_task once: `vanished` when the task's folder was deleted before its lock was taken.
HResultOr<StoredTask> store_task_once(const std::string& library, const ResolvedTaskPath& path, std::string& xml,
                                      WriteMode mode, const TaskWrite& write, bool& vanished) {
    auto folders = create_folders(library, path, path.elements.size() - 1);
    if (!folders.ok()) return HResultOr<StoredTask>::failure(folders.error());
    OpenedFolders& opened = folders.value();
    const int folder_directory = opened.innermost();
    const EntryName& name = path.entries.back();
    // One writer per folder at a time: the folder comes locked, and the checks below hold until
    // the definition is in place.
    if (folder_directory != opened.chain.front().get() && is_removed(folder_directory)) {
        vanished = true;
        return HResultOr<StoredTask>::failure(path_not_found);
    }
    EntryDirectories entry{folder_directory, {}};
    if (!open_entry_directories(entry, name, true)) return HResultOr<StoredTask>::failure(write_refusal(errno));
    const int directory = entry.innermost();
    if (is_directory(directory, name.folder())) return HResultOr<StoredTask>::failure(E_ACCESSDENIED);

    PathElements spelled = opened.spelled;
    spelled.push_back(path.elements.back());
    StoredTask task{display_path(spelled), {}, write.security.value_or(std::string())};
    const auto admitted = [&](const StoredTask* existing) { return write.admit ? write.admit(existing) : S_OK; };
    if (const auto existing = read_file(directory, name.definition(), largest_task_file)) {
        if (mode == WriteMode::create) return HResultOr<StoredTask>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        auto stored = parse_task_file(*existing);
        if (!stored || fold_case(stored->path) != path.folded) stored = StoredTask{task.path, {}, {}};
        if (const HRESULT refused = admitted(&*stored); FAILED(refused)) return HResultOr<StoredTask>::failure(refused);
        task.path = std::move(stored->path);  // keeps its spelling
        if (!write.security) task.security = std::move(stored->security);
        if (write.keep_definition) {
            if (stored->xml.empty()) return HResultOr<StoredTask>::failure(SCHED_E_INVALID_TASK_HASH);
            xml = std::move(stored->xml);
        }
    } else if (errno == foreign_entry) {
        return HResultOr<StoredTask>::failure(foreign_task);
    } else if (errno == EFBIG) {
        // A damaged task (grown by hand) is still a task: replaced, but not created anew.
        if (mode == WriteMode::create) return HResultOr<StoredTask>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        const StoredTask damaged{task.path, {}, {}};
        if (const HRESULT refused = admitted(&damaged); FAILED(refused)) return HResultOr<StoredTask>::failure(refused);
        if (write.keep_definition) return HResultOr<StoredTask>::failure(SCHED_E_INVALID_TASK_HASH);
    } else if (errno != ENOENT) {
        // Only a definition that is not there makes the task new; one that cannot be read (no
        // permission, an I/O error) must not be replaced.
        return HResultOr<StoredTask>::failure(hresult_from_errno(errno));
    } else {
        if (mode == WriteMode::update) return HResultOr<StoredTask>::failure(file_not_found);
        if (const HRESULT refused = admitted(nullptr); FAILED(refused)) return HResultOr<StoredTask>::failure(refused);
        if (!write.security) task.security = write.new_security;
        // A new task starts without start records, whatever an earlier task of its name left
        // (only a file of ours goes: anything else stays, and refuses records later).
        if (entry_kind(directory, name.runs()) == EntryKind::ours) unlinkat(directory, name.runs().c_str(), 0);
    }
    task.xml = std::move(xml);
    const int error =
        write_file_atomically(directory, name.definition(), task_file_text(task), mode == WriteMode::create);
    if (error != 0) return HResultOr<StoredTask>::failure(write_refusal(error));
    opened.keep();
    return task;
}

}  // namespace

HResultOr<StoredTask> store_task(const std::string& library, const ResolvedTaskPath& path, std::string xml,
                                 WriteMode mode, const TaskWrite& write) {
    for (int walk = 1;; ++walk) {
        bool vanished = false;
        auto stored = store_task_once(library, path, xml, mode, write, vanished);
        if (!vanished || walk == most_walks) return stored;
    }
}

HResultOr<PathElements> create_folder(const std::string& library, const ResolvedTaskPath& path,
                                      std::string_view security) {
    auto folders = create_folders(library, path, path.elements.size());
    if (!folders.ok()) return HResultOr<PathElements>::failure(folders.error());
    OpenedFolders& opened = folders.value();
    // The folder must be one this call made; when it was there already, so was every folder above it.
    if (opened.made.empty() || opened.made.back().depth + 1 != path.elements.size())
        return HResultOr<PathElements>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    // Written before the folder is kept: a folder whose descriptor could not be written goes again.
    // One that another caller deleted meanwhile was made, and deleted after: that is no failure.
    if (!security.empty()) {
        // Under the folder's own lock (held since it was made), which a deletion takes before it
        // looks inside: it never finds the folder between its spelling and its descriptor.
        const int error = write_file_atomically(opened.innermost(), folder_security_file, security, false);
        if (error != 0 && !is_removed(opened.innermost())) return HResultOr<PathElements>::failure(write_refusal(error));
    }
    opened.keep();
    return std::move(opened.spelled);
}

// Directories that only held the pieces of a long name go when they are empty.
void remove_empty_pieces(const EntryDirectories& entry, const EntryName& name) {
    for (std::size_t i = entry.pieces.size(); i-- > 0;) {
        const int holder = i == 0 ? entry.folder : entry.pieces[i - 1].get();
        if (unlinkat(holder, name.pieces[i].c_str(), AT_REMOVEDIR) != 0) break;
    }
}

HRESULT remove_task(const std::string& library, const ResolvedTaskPath& path, UniqueFd* records) {
    auto folder = open_folder(library, path, path.elements.size() - 1);
    if (!folder.ok()) return missing_folder_of_task(folder.error(), path);
    const int folder_directory = folder.value().get();
    const EntryName& name = path.entries.back();
    const DirectoryLock lock(folder_directory, DirectoryLock::exclusive);
    EntryDirectories entry{folder_directory, {}};
    if (!open_entry_directories(entry, name, false))
        return is_missing(errno) ? file_not_found : hresult_from_errno(errno);
    const int directory = entry.innermost();
    const auto kind = entry_kind(directory, name.definition());
    if (!kind) return hresult_from_errno(errno);
    if (*kind == EntryKind::missing) {
        // The name may be a folder's: the service deletes a task or an empty folder.
        if (is_directory(directory, name.folder())) return remove_empty_folder(directory, name);
        return missing_task(directory, name);
    }
    if (*kind == EntryKind::foreign) return foreign_task;
    if (unlinkat(directory, name.definition().c_str(), 0) != 0) return hresult_from_errno(errno);
    if (entry_kind(directory, name.runs()) == EntryKind::ours) {
        // Opened under the lock that keeps runs from starting: every run it names is there.
        if (records) *records = open_runs_file(directory, name);
        unlinkat(directory, name.runs().c_str(), 0);
    }
    remove_empty_pieces(entry, name);
    return S_OK;
}

HRESULT remove_folder(const std::string& library, const ResolvedTaskPath& path) {
    auto folder = open_folder(library, path, path.elements.size() - 1);
    if (!folder.ok()) return missing_folder_of_task(folder.error(), path);
    const EntryName& name = path.entries.back();
    const DirectoryLock lock(folder.value().get(), DirectoryLock::exclusive);
    EntryDirectories entry{folder.value().get(), {}};
    if (!open_entry_directories(entry, name, false)) return is_missing(errno) ? file_not_found : hresult_from_errno(errno);
    if (!is_directory(entry.innermost(), name.folder())) {
        // A task of that name is no folder, and stays: only DeleteTask deletes tasks.
        return exists(entry.innermost(), name.definition()) ? HRESULT_FROM_WIN32(ERROR_DIRECTORY) : file_not_found;
    }
    const HRESULT removed = remove_empty_folder(entry.innermost(), name);
    if (SUCCEEDED(removed)) remove_empty_pieces(entry, name);
    return removed;
}

namespace {

// The folder's directory (the library's own for the root, made first when `create`).
HResultOr<UniqueFd> open_folder_directory(const std::string& library, const PathElements& folder, bool create) {
    if (!folder.empty()) return open_folder(library, ResolvedTaskPath(folder), folder.size());
    UniqueFd root = open_library(library, create);
    if (!root) return HResultOr<UniqueFd>::failure(is_missing(errno) ? file_not_found : hresult_from_errno(errno));
    return root;
}

}  // namespace

HResultOr<std::string> load_folder_security(const std::string& library, const PathElements& folder) {
    auto directory = open_folder_directory(library, folder, false);
    // The root is there before the library's directory is, with the default descriptor.
    if (!directory.ok() && folder.empty() && directory.error() == file_not_found) return std::string();
    if (!directory.ok()) return HResultOr<std::string>::failure(directory.error());
    return kept_security(directory.value().get());
}

HRESULT store_folder_security(const std::string& library, const PathElements& folder, std::string_view security,
                              const std::function<HRESULT(const std::string& kept)>& admit) {
    auto directory = open_folder_directory(library, folder, true);
    if (!directory.ok()) return directory.error();
    const DirectoryLock lock(directory.value().get(), DirectoryLock::exclusive);
    if (!folder.empty() && is_removed(directory.value().get())) return file_not_found;
    if (admit) {
        if (const HRESULT refused = admit(kept_security(directory.value().get())); FAILED(refused)) return refused;
    }
    const int error = write_file_atomically(directory.value().get(), folder_security_file, security, false);
    return error == 0 ? S_OK : write_refusal(error);
}

namespace {

bool is_same_file(int directory, const std::string& name, int file) {
    struct stat held {}, named {};
    return fstat(file, &held) == 0 && fstatat(directory, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 &&
           held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

}  // namespace

bool holds_task_runs(const std::string& library, const ResolvedTaskPath& path, int records) {
    auto location = locate_task(library, path);
    return location.ok() && is_same_file(location.value().entry.innermost(), path.entries.back().runs(), records);
}

HResultOr<AppendedText> append_task_runs(const std::string& library, const ResolvedTaskPath& path,
                                         std::string_view text, int same_records,
                                         const std::function<void(int records)>& then) {
    auto location = locate_task(library, path);
    if (!location.ok()) return HResultOr<AppendedText>::failure(location.error());
    // Shared with other appenders, exclusive of a deletion: records never outlive their task.
    const DirectoryLock lock(location.value().folder.get(), DirectoryLock::shared);
    const int directory = location.value().entry.innermost();
    const auto kind = entry_kind(directory, path.entries.back().definition());
    if (!kind) return HResultOr<AppendedText>::failure(hresult_from_errno(errno));
    if (*kind == EntryKind::missing) return HResultOr<AppendedText>::failure(file_not_found);
    if (*kind == EntryKind::foreign) return HResultOr<AppendedText>::failure(foreign_task);
    if (same_records >= 0 && !is_same_file(directory, path.entries.back().runs(), same_records))
        return HResultOr<AppendedText>::failure(file_not_found);
    AppendedText appended;
    if (const int error = append_to_file(directory, path.entries.back().runs(), text, &appended); error != 0)
        return HResultOr<AppendedText>::failure(error == foreign_entry ? foreign_task : hresult_from_errno(error));
    if (then) then(appended.file.get());
    return appended;
}

void trim_task_runs(const std::string& library, const ResolvedTaskPath& path, std::size_t limit, std::size_t kept,
                    const std::function<bool(int records)>& busy) {
    auto location = locate_task(library, path);
    if (!location.ok()) return;
    const int directory = location.value().entry.innermost();
    const std::string& runs = path.entries.back().runs();
    // Looked at first without the lock: most calls find the records small and take none.
    struct stat status {};
    if (fstatat(directory, runs.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 ||
        static_cast<std::uintmax_t>(status.st_size) <= limit)
        return;
    const DirectoryLock lock(location.value().folder.get(), DirectoryLock::exclusive);
    const UniqueFd records = open_runs_file(directory, path.entries.back());
    if (!records || busy(records.get())) return;
    const auto newest = read_open_file_tail(records.get(), kept);
    if (!newest) return;
    write_file_atomically(directory, runs, *newest, false);
}

std::string read_task_runs(const std::string& library, const ResolvedTaskPath& path) {
    auto location = locate_task(library, path);
    if (!location.ok()) return {};
    auto text = read_file_tail(location.value().entry.innermost(), path.entries.back().runs(), largest_records_read);
    return text ? std::move(*text) : std::string();
}

std::string read_task_runs(int records) {
    auto text = read_open_file_tail(records, largest_records_read);
    return text ? std::move(*text) : std::string();
}

UniqueFd open_task_runs(const std::string& library, const ResolvedTaskPath& path) {
    auto location = locate_task(library, path);
    if (!location.ok()) return UniqueFd();
    return open_runs_file(location.value().entry.innermost(), path.entries.back());
}

UniqueFd open_task_runs_in(int folder, const EntryName& task) {
    EntryDirectories entry{folder, {}};
    if (!open_entry_directories(entry, task, false)) return UniqueFd();
    return open_runs_file(entry.innermost(), task);
}

}  // namespace winemu
