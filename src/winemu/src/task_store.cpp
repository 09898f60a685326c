// task_store.cpp: the task library's files: reading, writing atomically, deleting.
#include "task_store.hpp"

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string_view>
#include <utility>
#include <vector>

#include "library_files.hpp"
#include "task_paths.hpp"
#include "unique_fd.hpp"
#include "utf.hpp"

namespace winemu {
namespace {

const HRESULT file_not_found = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT path_not_found = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

HRESULT hresult_from_errno(int error) {
    switch (error) {
    case ENOENT:
    case ENOTDIR: return path_not_found;
    case EACCES:
    case EPERM:
    case EROFS: return E_ACCESSDENIED;
    case EEXIST: return HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
    case ENAMETOOLONG: return HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
    case ENOMEM: return E_OUTOFMEMORY;
    case ENOSPC: return HRESULT_FROM_WIN32(112);  // ERROR_DISK_FULL
    default: return E_FAIL;
    }
}

// Something that is not ours (a symlink, a file where a directory belongs) stands in the way of
// a write: refused rather than followed or replaced.
HRESULT write_refusal(int error) {
    return error == ELOOP || error == ENOTDIR || error == EISDIR ? E_ACCESSDENIED : hresult_from_errno(error);
}

// For a lookup, a symlink or a file where a directory belongs counts as nothing there.
bool is_missing(int error) { return error == ENOENT || error == ENOTDIR || error == ELOOP; }

PathElements parent_of(const PathElements& path) { return PathElements(path.begin(), path.end() - 1); }

// A folder's not-found code turned into the code of a task inside it: any missing folder on a
// task's path is a missing path, but the root (even with no library yet) is always there.
HRESULT missing_folder_of_task(HRESULT folder_code, const PathElements& folder) {
    if (folder_code != file_not_found && folder_code != path_not_found) return folder_code;
    return folder.empty() ? file_not_found : path_not_found;
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
    const auto text = read_file(folder, folder_spelling_file);
    if (!text) return given;
    auto spelling = utf16_from_utf8(*text);
    if (!spelling || fold_case(*spelling) != fold_case(given)) return given;
    return std::move(*spelling);
}

// Walks from the library to the folder, one directory at a time. When `spelled` is given, it
// receives the spelling of each element. Not found: ERROR_FILE_NOT_FOUND when only the folder's
// own directory is missing, ERROR_PATH_NOT_FOUND when one above it is.
HResultOr<UniqueFd> open_folder(const std::string& library, const PathElements& folder,
                                PathElements* spelled = nullptr) {
    UniqueFd current = open_library(library, false);
    const auto failure = [&](std::size_t depth) {
        if (!is_missing(errno)) return HResultOr<UniqueFd>::failure(hresult_from_errno(errno));
        return HResultOr<UniqueFd>::failure(depth + 1 >= folder.size() ? file_not_found : path_not_found);
    };
    if (!current) return failure(0);
    for (std::size_t depth = 0; depth < folder.size(); ++depth) {
        const EntryName name = entry_name(folder[depth]);
        EntryDirectories entry{current.get(), {}};
        if (!open_entry_directories(entry, name, false)) return failure(depth);
        UniqueFd next = open_directory(entry.innermost(), name.folder());
        if (!next) return failure(depth);
        if (spelled) spelled->push_back(spelling_in(next.get(), folder[depth]));
        current = std::move(next);
    }
    return current;
}

// Opens the folder `element` inside `parent`, creating it when missing. Under the parent's lock,
// so that a folder and a task never take the same name, and a folder made by several processes
// at once is made once, with the spelling of the first.
HResultOr<UniqueFd> open_or_create_folder(int parent, const std::u16string& element, PathElements& spelled) {
    const EntryName name = entry_name(element);
    const DirectoryLock lock(parent, DirectoryLock::exclusive);
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
    // The spelling is a nicety: without it the folder shows the spelling of each caller.
    if (const auto utf8 = utf8_from_utf16(element))
        write_file_atomically(folder.get(), folder_spelling_file, *utf8, false);
    spelled.push_back(element);
    return folder;
}

struct OpenedFolder {
    UniqueFd directory;
    PathElements spelled;
};

// Makes every folder on the way; gives back the last one and the spelling of each.
HResultOr<OpenedFolder> create_folders(const std::string& library, const PathElements& folder) {
    OpenedFolder opened{open_library(library, true), {}};
    if (!opened.directory) return HResultOr<OpenedFolder>::failure(write_refusal(errno));
    for (const auto& element : folder) {
        auto next = open_or_create_folder(opened.directory.get(), element, opened.spelled);
        if (!next.ok()) return HResultOr<OpenedFolder>::failure(next.error());
        opened.directory = std::move(next.value());
    }
    return opened;
}

std::string task_file_text(const StoredTask& task) {
    const auto path = utf8_from_utf16(task.path);
    return (path ? *path : std::string()) + "\n" + task.xml;
}

std::optional<StoredTask> parse_task_file(const std::string& text) {
    const std::size_t line_end = text.find('\n');
    if (line_end == std::string::npos) return std::nullopt;
    auto path = utf16_from_utf8(std::string_view(text).substr(0, line_end));
    if (!path) return std::nullopt;
    return StoredTask{std::move(*path), text.substr(line_end + 1)};
}

// A missing task: a folder of that name counts as a path, as Windows 8 and later answer.
HRESULT missing_task(int directory, const EntryName& name) {
    return is_directory(directory, name.folder()) ? path_not_found : file_not_found;
}

// The open folder of a task and the directory that holds the task's files.
struct TaskLocation {
    UniqueFd folder;
    EntryName name;
    EntryDirectories entry;
};

// Finds where the task's files are (they need not exist): the task's not-found codes otherwise.
HResultOr<TaskLocation> locate_task(const std::string& library, const PathElements& path) {
    const PathElements parent = parent_of(path);
    auto folder = open_folder(library, parent);
    if (!folder.ok()) return HResultOr<TaskLocation>::failure(missing_folder_of_task(folder.error(), parent));
    TaskLocation location{std::move(folder.value()), entry_name(path.back()), {}};
    location.entry.folder = location.folder.get();
    if (!open_entry_directories(location.entry, location.name, false))
        return HResultOr<TaskLocation>::failure(is_missing(errno) ? file_not_found : hresult_from_errno(errno));
    return location;
}

}  // namespace

HResultOr<std::u16string> find_folder(const std::string& library, const PathElements& folder) {
    PathElements spelled;
    if (auto opened = open_folder(library, folder, &spelled); !opened.ok() && !folder.empty())
        return HResultOr<std::u16string>::failure(opened.error());
    return display_path(spelled);
}

HResultOr<StoredTask> load_task(const std::string& library, const PathElements& path) {
    auto location = locate_task(library, path);
    if (!location.ok()) return HResultOr<StoredTask>::failure(location.error());
    const int directory = location.value().entry.innermost();
    const auto text = read_file(directory, location.value().name.definition());
    if (!text) {
        if (is_missing(errno)) return HResultOr<StoredTask>::failure(missing_task(directory, location.value().name));
        return HResultOr<StoredTask>::failure(hresult_from_errno(errno));
    }
    auto task = parse_task_file(*text);
    if (!task) return HResultOr<StoredTask>::failure(SCHED_E_MALFORMEDXML);
    return std::move(*task);
}

HResultOr<StoredTask> store_task(const std::string& library, const PathElements& path, std::string xml,
                                 WriteMode mode) {
    auto folder = create_folders(library, parent_of(path));
    if (!folder.ok()) return HResultOr<StoredTask>::failure(folder.error());
    const int folder_directory = folder.value().directory.get();
    const EntryName name = entry_name(path.back());
    // One writer per folder at a time: the checks below hold until the definition is in place.
    const DirectoryLock lock(folder_directory, DirectoryLock::exclusive);
    EntryDirectories entry{folder_directory, {}};
    if (!open_entry_directories(entry, name, true)) return HResultOr<StoredTask>::failure(write_refusal(errno));
    const int directory = entry.innermost();
    if (is_directory(directory, name.folder())) return HResultOr<StoredTask>::failure(E_ACCESSDENIED);

    PathElements spelled = std::move(folder.value().spelled);
    spelled.push_back(path.back());
    StoredTask task{display_path(spelled), std::move(xml)};
    if (const auto existing = read_file(directory, name.definition())) {
        if (mode == WriteMode::create) return HResultOr<StoredTask>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        if (auto stored = parse_task_file(*existing)) task.path = std::move(stored->path);  // keeps its spelling
    } else if (!is_missing(errno)) {
        // Only a definition that is not there (or a symlink, which counts as nothing) makes the
        // task new; one that cannot be read (no permission, an I/O error) must not be replaced.
        return HResultOr<StoredTask>::failure(hresult_from_errno(errno));
    } else {
        if (mode == WriteMode::update) return HResultOr<StoredTask>::failure(file_not_found);
        // A new task starts without start records, whatever an earlier task of its name left.
        unlinkat(directory, name.runs().c_str(), 0);
    }
    const int error =
        write_file_atomically(directory, name.definition(), task_file_text(task), mode == WriteMode::create);
    if (error != 0) return HResultOr<StoredTask>::failure(write_refusal(error));
    return task;
}

// Deletes the folder `name` inside `directory` when it holds nothing but its spelling file; the
// one directory listing of the library, made only when a deletion names a folder. Called with the
// parent's exclusive lock held (no folder is made or opened there meanwhile); the folder's own
// lock keeps a task from being written into it while it is looked at.
HRESULT remove_empty_folder(int directory, const EntryName& name) {
    UniqueFd folder = open_directory(directory, name.folder());
    if (!folder) return is_missing(errno) ? file_not_found : hresult_from_errno(errno);
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
        if (entry_name != "." && entry_name != ".." && entry_name != folder_spelling_file) empty = false;
    }
    closedir(entries);
    if (!empty) return HRESULT_FROM_WIN32(145);  // ERROR_DIR_NOT_EMPTY
    unlinkat(folder.get(), folder_spelling_file, 0);
    if (unlinkat(directory, name.folder().c_str(), AT_REMOVEDIR) != 0) return hresult_from_errno(errno);
    return S_OK;
}

HRESULT remove_task(const std::string& library, const PathElements& path) {
    const PathElements parent = parent_of(path);
    auto folder = open_folder(library, parent);
    if (!folder.ok()) return missing_folder_of_task(folder.error(), parent);
    const int folder_directory = folder.value().get();
    const EntryName name = entry_name(path.back());
    const DirectoryLock lock(folder_directory, DirectoryLock::exclusive);
    EntryDirectories entry{folder_directory, {}};
    if (!open_entry_directories(entry, name, false))
        return is_missing(errno) ? file_not_found : hresult_from_errno(errno);
    const int directory = entry.innermost();
    if (unlinkat(directory, name.definition().c_str(), 0) != 0) {
        if (errno != ENOENT && errno != EISDIR) return hresult_from_errno(errno);
        if (is_directory(directory, name.folder())) return remove_empty_folder(directory, name);
        return file_not_found;
        return hresult_from_errno(errno);
    }
    unlinkat(directory, name.runs().c_str(), 0);
    // Directories that only held the pieces of a long name go when they are empty.
    for (std::size_t i = entry.pieces.size(); i-- > 0;) {
        const int holder = i == 0 ? folder_directory : entry.pieces[i - 1].get();
        if (unlinkat(holder, name.pieces[i].c_str(), AT_REMOVEDIR) != 0) break;
    }
    return S_OK;
}

bool append_task_runs(const std::string& library, const PathElements& path, std::string_view text) {
    auto location = locate_task(library, path);
    if (!location.ok()) return false;
    // Shared with other appenders, exclusive of a deletion: records never outlive their task.
    const DirectoryLock lock(location.value().folder.get(), DirectoryLock::shared);
    const int directory = location.value().entry.innermost();
    if (!exists(directory, location.value().name.definition())) return false;
    return append_to_file(directory, location.value().name.runs(), text) == 0;
}

std::string read_task_runs(const std::string& library, const PathElements& path) {
    auto location = locate_task(library, path);
    if (!location.ok()) return {};
    auto text = read_file(location.value().entry.innermost(), location.value().name.runs());
    return text ? std::move(*text) : std::string();
}

}  // namespace winemu
