// task_store_reset.cpp: the task store as files: winemu's library directory, or the Tasks folder
// of the Windows directory that Wine's service keeps its definitions in. On Windows the folder
// above the store is watched too: a hostile name may make a service write beside its store, or
// delete the store itself, and the next case must not see that.
#include "task_store_reset.hpp"

#include <filesystem>
#include <random>
#include <set>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#else
#include <winemu/control.h>
#endif

namespace fidelity {
namespace {

namespace fs = std::filesystem;

fs::path store;
std::vector<fs::path> watched;
std::set<fs::path> kept;

#ifdef _WIN32
// FindFirstFileW hands out names in batches; a directory_iterator would also ask for every
// entry's attributes, which under Wine makes listing the system folder take seconds.
std::vector<fs::path> entries(const fs::path& directory) {
    std::vector<fs::path> found;
    WIN32_FIND_DATAW data;
    const HANDLE search = FindFirstFileW((directory / L"*").c_str(), &data);
    if (search == INVALID_HANDLE_VALUE) return found;
    do {
        const std::wstring name = data.cFileName;
        if (name != L"." && name != L"..") found.push_back(directory / name);
    } while (FindNextFileW(search, &data));
    FindClose(search);
    return found;
}

fs::path locate_store() {
    wchar_t system[MAX_PATH];
    const UINT length = GetSystemDirectoryW(system, MAX_PATH);
    return fs::path(std::wstring(system, length)) / L"Tasks";
}
#else
std::vector<fs::path> entries(const fs::path& directory) {
    std::vector<fs::path> found;
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator(directory, ignored)) found.push_back(entry.path());
    return found;
}

fs::path locate_store() {
    std::random_device random;
    for (;;) {
        auto candidate = fs::temp_directory_path() / ("morvane-fidelity-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            winemu_set_task_library(candidate.string().c_str());
            return candidate;
        }
    }
}
#endif

}  // namespace

void prepare_task_store() {
    store = locate_store();
    watched = {store};
#ifdef _WIN32
    watched.push_back(store.parent_path());
#endif
    for (const auto& directory : watched)
        for (const auto& entry : entries(directory)) kept.insert(entry);
}

void reset_task_store() {
    std::error_code ignored;
    std::set<fs::path> made;
    for (const auto& directory : watched)
        for (const auto& entry : entries(directory))
            if (!kept.contains(entry)) made.insert(entry);
    for (const auto& path : made) fs::remove_all(path, ignored);
    fs::create_directories(store, ignored);
}

void finish_task_store() {
#ifndef _WIN32
    std::error_code ignored;
    fs::remove_all(store, ignored);
#endif
}

}  // namespace fidelity
