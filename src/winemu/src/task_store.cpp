// task_store.cpp: the task library's files: reading, writing atomically, deleting.
#include "task_store.hpp"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <utility>

#include "task_library.hpp"
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

bool is_directory(const std::string& path) {
    struct stat status {};
    return stat(path.c_str(), &status) == 0 && S_ISDIR(status.st_mode);
}

bool exists(const std::string& path) {
    struct stat status {};
    return lstat(path.c_str(), &status) == 0;
}

PathElements parent_of(const PathElements& path) { return PathElements(path.begin(), path.end() - 1); }

// Which of the two not-found codes a missing entry inside `folder` gets.
HRESULT not_found_in(const std::string& library, const PathElements& folder) {
    if (folder.empty() || is_directory(folder_directory(library, folder))) return file_not_found;
    return path_not_found;
}

// A missing task: a folder of that name counts as a path, as Windows 8 and later answer.
HRESULT missing_task(const std::string& library, const PathElements& path, const TaskFiles& files) {
    if (is_directory(files.as_folder)) return path_not_found;
    return not_found_in(library, parent_of(path));
}

std::optional<std::string> read_all(const std::string& path) {
    const UniqueFd file(open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!file) return std::nullopt;
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

bool write_all(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t put = write(fd, data.data(), data.size());
        if (put < 0 && errno == EINTR) continue;
        if (put <= 0) return false;
        data.remove_prefix(static_cast<std::size_t>(put));
    }
    return true;
}

// A file written under a temporary name beside its destination; removed unless committed.
class TempFile {
public:
    explicit TempFile(const std::string& directory) {
        static std::atomic<unsigned long long> counter{0};
        for (int attempt = 0; attempt < 100; ++attempt) {
            std::string candidate = directory + "/.tmp." + std::to_string(getpid()) + "." +
                                    std::to_string(counter.fetch_add(1, std::memory_order_relaxed));
            UniqueFd created(open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644));
            if (created) {
                path_ = std::move(candidate);
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
        if (!path_.empty()) unlink(path_.c_str());
    }

    // 0 when the whole text is written and the file closed; else the errno.
    int write_and_close(std::string_view text) {
        if (!fd_) return error_;
        if (!write_all(fd_.get(), text)) return errno ? errno : EIO;
        return fd_.close() ? 0 : errno;
    }
    const std::string& path() const noexcept { return path_; }
    void committed() noexcept { path_.clear(); }  // now under its final name (or linked there)

private:
    std::string path_;
    UniqueFd fd_;
    int error_ = 0;
};

// Writes the text to `destination` through a temporary file (the reader sees old or new).
HRESULT write_atomically(const std::string& directory, const std::string& destination, std::string_view text,
                         bool only_if_new) {
    TempFile temp(directory);
    if (const int error = temp.write_and_close(text); error != 0) return hresult_from_errno(error);
    if (only_if_new) {
        // link() refuses an existing destination atomically; the temporary name then goes away.
        if (link(temp.path().c_str(), destination.c_str()) != 0) return hresult_from_errno(errno);
        return S_OK;
    }
    if (rename(temp.path().c_str(), destination.c_str()) != 0) return hresult_from_errno(errno);
    temp.committed();
    return S_OK;
}

std::u16string spelling_in(const std::string& folder_dir, const std::u16string& given) {
    const auto text = read_all(folder_dir + "/" + std::string(folder_spelling_file));
    if (!text) return given;
    auto spelling = utf16_from_utf8(*text);
    if (!spelling || fold_case(*spelling) != fold_case(given)) return given;
    return std::move(*spelling);
}

// Makes every folder on the way; gives back their spellings.
HResultOr<PathElements> create_folders(const std::string& library, const PathElements& folder) {
    if (!ensure_directories(library)) return HResultOr<PathElements>::failure(hresult_from_errno(errno));
    PathElements spelled;
    PathElements so_far;
    for (const auto& element : folder) {
        so_far.push_back(element);
        const std::string directory = folder_directory(library, so_far);
        if (is_directory(directory)) {
            spelled.push_back(spelling_in(directory, element));
            continue;
        }
        if (exists(task_files(library, so_far).definition))
            return HResultOr<PathElements>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        if (!ensure_directories(directory.substr(0, directory.find_last_of('/'))))
            return HResultOr<PathElements>::failure(hresult_from_errno(errno));
        if (mkdir(directory.c_str(), 0755) == 0) {
            const auto utf8 = utf8_from_utf16(element);
            // The spelling is a nicety: without it the folder shows the spelling of each caller.
            if (utf8) write_atomically(directory, directory + "/" + std::string(folder_spelling_file), *utf8, false);
            spelled.push_back(element);
        } else if (errno == EEXIST) {
            spelled.push_back(spelling_in(directory, element));
        } else {
            return HResultOr<PathElements>::failure(hresult_from_errno(errno));
        }
    }
    return spelled;
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

}  // namespace

HRESULT find_folder(const std::string& library, const PathElements& folder) {
    if (folder.empty() || is_directory(folder_directory(library, folder))) return S_OK;
    return not_found_in(library, parent_of(folder));
}

std::u16string folder_display_path(const std::string& library, const PathElements& folder) {
    PathElements spelled;
    PathElements so_far;
    for (const auto& element : folder) {
        so_far.push_back(element);
        spelled.push_back(spelling_in(folder_directory(library, so_far), element));
    }
    return display_path(spelled);
}

HResultOr<StoredTask> load_task(const std::string& library, const PathElements& path) {
    const TaskFiles files = task_files(library, path);
    const auto text = read_all(files.definition);
    if (!text) {
        if (errno == ENOENT || errno == ENOTDIR || errno == ELOOP)
            return HResultOr<StoredTask>::failure(missing_task(library, path, files));
        return HResultOr<StoredTask>::failure(hresult_from_errno(errno));
    }
    auto task = parse_task_file(*text);
    if (!task) return HResultOr<StoredTask>::failure(SCHED_E_MALFORMEDXML);
    return std::move(*task);
}

HResultOr<StoredTask> store_task(const std::string& library, const PathElements& path, std::string xml,
                                 WriteMode mode) {
    auto folders = create_folders(library, parent_of(path));
    if (!folders.ok()) return HResultOr<StoredTask>::failure(folders.error());
    const TaskFiles files = task_files(library, path);
    if (is_directory(files.as_folder)) return HResultOr<StoredTask>::failure(E_ACCESSDENIED);
    if (!ensure_directories(files.directory)) return HResultOr<StoredTask>::failure(hresult_from_errno(errno));

    PathElements spelled = std::move(folders.value());
    spelled.push_back(path.back());
    StoredTask task{display_path(spelled), std::move(xml)};
    if (auto existing = load_task(library, path); existing.ok()) {
        if (mode == WriteMode::create) return HResultOr<StoredTask>::failure(HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        task.path = std::move(existing.value().path);  // a replaced task keeps its spelling
    } else if (mode == WriteMode::update) {
        return HResultOr<StoredTask>::failure(file_not_found);
    }
    const HRESULT written =
        write_atomically(files.directory, files.definition, task_file_text(task), mode == WriteMode::create);
    if (FAILED(written)) return HResultOr<StoredTask>::failure(written);
    return task;
}

HRESULT remove_task(const std::string& library, const PathElements& path) {
    const TaskFiles files = task_files(library, path);
    if (unlink(files.definition.c_str()) != 0) {
        if (errno == ENOENT || errno == ENOTDIR || errno == EISDIR) return missing_task(library, path, files);
        return hresult_from_errno(errno);
    }
    unlink(files.runs.c_str());
    // Directories that only held the pieces of a long name go when they are empty.
    for (std::string directory = files.directory; directory.size() > files.folder.size();
         directory.resize(directory.find_last_of('/'))) {
        if (rmdir(directory.c_str()) != 0) break;
    }
    return S_OK;
}

}  // namespace winemu
