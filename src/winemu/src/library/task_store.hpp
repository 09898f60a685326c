// task_store.hpp: the task library's files: reading, writing atomically, deleting.
#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "com/hresult_or.hpp"
#include "library/library_files.hpp"
#include "library/task_names.hpp"
#include "library/task_paths.hpp"

namespace winemu {

// The HRESULT a failed file operation of the library answers, from its errno.
HRESULT hresult_from_errno(int error);

// One task as the library keeps it.
struct StoredTask {
    std::u16string path;  // "\Folder\Name" in the spelling it was registered with
    std::string xml;      // the definition, UTF-8
};

// The folder's elements in the spelling each was created with, when it exists;
// HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) when only its own directory is missing,
// HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND) when a folder above it is.
HResultOr<PathElements> find_folder(const std::string& library, const PathElements& folder);

// The task (path not empty): ERROR_FILE_NOT_FOUND when it is missing, ERROR_PATH_NOT_FOUND when a
// folder on its path is missing or the name is a folder's. E_ACCESSDENIED when what stands at the
// task's file is not one of ours (a symlink, a FIFO, a directory, a file with several links), in
// this and in every other call here; SCHED_E_INVALID_TASK_HASH when the file is larger than any
// definition or its path line is not the task's path (the definition is checked by the caller).
HResultOr<StoredTask> load_task(const std::string& library, const ResolvedTaskPath& path);

// One task of a folder as a listing finds it.
struct ListedTask {
    std::u16string name;   // its name in the spelling it was registered with (folded when damaged)
    StoredTask task;       // its path and definition; the definition is empty when damaged
    bool damaged = false;  // the file is no task's file, or not this task's (as load_task answers
                           // SCHED_E_INVALID_TASK_HASH)
};

struct FolderListing {
    std::vector<ListedTask> tasks;
    std::vector<std::u16string> folders;  // the subfolders' names, each in the spelling it was created with
    UniqueFd directory;  // the folder's directory as it was listed; closed for a root not made yet
};

// What a listing reads: a folder's tasks (each definition file read) or its subfolders (each
// spelling file read), never what the caller does not ask for.
enum class ListedEntries { tasks, folders };

// Takes each task of a listing as it is read, so that a listing need not hold every definition
// at once.
using ListedTaskVisitor = std::function<void(ListedTask&&)>;

// What the folder holds (its subfolders' content aside), in no particular order; the not-found
// codes of find_folder. What is not one of ours (a symlink, a FIFO) is left out, as is a task
// deleted while it is listed. With `visit`, each task goes to it as soon as its file is read
// instead of into the listing. The one place besides an empty folder's deletion that lists a
// directory of the library.
HResultOr<FolderListing> list_folder(const std::string& library, const PathElements& folder, ListedEntries entries,
                                     const ListedTaskVisitor& visit = {});

enum class WriteMode { create, update, create_or_update };

// Writes the definition (path not empty), creating missing folders. An existing definition is
// replaced atomically (a new file renamed over it) and keeps its spelling. E_ACCESSDENIED when a
// folder has the task's name; HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when a task has the name
// of a folder to create, or when `create` meets an existing task; ERROR_FILE_NOT_FOUND when
// `update` meets none; E_ACCESSDENIED too when something the library did not make (a symlink, a
// directory where a task goes) stands in the way. A new task starts without start records.
// A registration that fails leaves none of the folders it made.
HResultOr<StoredTask> store_task(const std::string& library, const ResolvedTaskPath& path, std::string xml,
                                 WriteMode mode);

// Deletes the task and its start records, or the folder of that path when it is empty
// (HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY) when it is not); ERROR_FILE_NOT_FOUND when neither
// exists, ERROR_PATH_NOT_FOUND when a folder above it is missing. Removes nothing that is not one
// of ours. With `records`, a deleted task's start records file is handed back open (closed when
// it had none), so that the caller can end the runs that it still holds.
HRESULT remove_task(const std::string& library, const ResolvedTaskPath& path, UniqueFd* records = nullptr);

// Makes the folder (path not empty) and every missing folder on its way, all at once: a creation
// that fails leaves none of the folders it made. Gives the folder's path in the spelling of each
// element (an element that was there keeps its own). HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS) when
// the folder, or a task of the name of a folder to make, is there; E_ACCESSDENIED when something
// the library did not make stands in the way. A folder on the way that another caller deletes
// meanwhile is made again.
HResultOr<PathElements> create_folder(const std::string& library, const ResolvedTaskPath& path);

// Deletes the folder (path not empty) when it is empty: HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY)
// when it holds a task or a folder, HRESULT_FROM_WIN32(ERROR_DIRECTORY) when the name is a task's
// (which stays), the not-found codes of remove_task when there is neither.
HRESULT remove_folder(const std::string& library, const ResolvedTaskPath& path);

// Appends text to the task's start records in one write, only while the task exists (a task
// deleted meanwhile gets no records back); gives where the text went, or why nothing was written.
// With `same_records` (an open records file), only while that file is still the task's: a run of
// a task deleted since, or of an earlier task of the name, writes nothing (ERROR_FILE_NOT_FOUND).
// `then` is called with the records file once the text is in, while trim_task_runs and deletion
// are still held off (a new run takes its lock there, before any trim could replace the file).
HResultOr<AppendedText> append_task_runs(const std::string& library, const ResolvedTaskPath& path,
                                         std::string_view text, int same_records = -1,
                                         const std::function<void(int records)>& then = {});

// Whether the open records file is still the task's (not one of a task deleted since, or of an
// earlier task of the name).
bool holds_task_runs(const std::string& library, const ResolvedTaskPath& path, int records);

// Keeps a task's start records bounded: once they pass `limit` bytes, they are replaced (atomically,
// appends and deletion held off) by their newest `kept` bytes of whole records, unless `busy`
// says of the open records file that a run still holds it (its outcomes are rewritten in place,
// and its lock lives on that file).
void trim_task_runs(const std::string& library, const ResolvedTaskPath& path, std::size_t limit, std::size_t kept,
                    const std::function<bool(int records)>& busy);

// The task's start records as they were appended (the newest ones, when there are more than
// largest_records_read bytes of them); empty when there are none.
std::string read_task_runs(const std::string& library, const ResolvedTaskPath& path);
// The same, read from the records file that open_task_runs opened (one walk to the task, not two).
std::string read_task_runs(int records);

// The task's start records file opened for reading (close-on-exec), to test its runs' locks;
// closed (invalid) when the task or its records are missing.
UniqueFd open_task_runs(const std::string& library, const ResolvedTaskPath& path);
// The same for the task of the folder whose directory is open (FolderListing::directory), by the
// task's entry: no walk from the library.
UniqueFd open_task_runs_in(int folder, const EntryName& task);

}  // namespace winemu
