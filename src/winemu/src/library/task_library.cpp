// task_library.cpp: where the task library lives, and the control API that moves it.
#include "library/task_library.hpp"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>
#include <mutex>
#include <optional>

#include <winemu/control.h>

#include "control/control_text.hpp"

namespace winemu {
namespace {

struct LibraryLocation {
    std::mutex lock;
    std::optional<std::string> chosen;  // set by winemu_set_task_library
};

LibraryLocation& location() {
    // Never destroyed: threads still running at exit may look the library up.
    static LibraryLocation& instance = *new LibraryLocation;
    return instance;
}

std::string from_environment() {
    const char* library = std::getenv("MORVANE_TASK_LIBRARY");
    if (library && *library) return library;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state) return std::string(state) + "/morvane/tasks";
    const char* home = std::getenv("HOME");
    return std::string(home ? home : "") + "/.local/state/morvane/tasks";
}

std::string without_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string task_library() {
    LibraryLocation& library = location();
    const std::lock_guard guard(library.lock);
    if (library.chosen) return *library.chosen;
    return without_trailing_slashes(from_environment());
}

bool ensure_directories(const std::string& directory) {
    // Private, whatever the umask: the library and the state directories made for it.
    const auto make = [&] {
        if (mkdir(directory.c_str(), 0700) != 0) return errno == EEXIST;
        chmod(directory.c_str(), 0700);
        return true;
    };
    if (make()) return true;
    if (errno != ENOENT) return false;
    const std::size_t parent_end = directory.find_last_of('/');
    if (parent_end == std::string::npos || parent_end == 0) return false;
    if (!ensure_directories(directory.substr(0, parent_end))) return false;
    return make();
}

}  // namespace winemu

// The control API is C: nothing may unwind through it, so running out of memory reports "nothing".
extern "C" WINEMU_API size_t winemu_task_library(char* buffer, size_t capacity) {
    try {
        return winemu::copy_text_out(winemu::task_library(), buffer, capacity);
    } catch (...) {
        return winemu::copy_text_out("", buffer, capacity);
    }
}

extern "C" WINEMU_API int winemu_set_task_library(const char* path) {
    if (!path || !*path) return -1;
    try {
        std::string chosen = winemu::without_trailing_slashes(path);
        winemu::LibraryLocation& library = winemu::location();
        const std::lock_guard guard(library.lock);
        library.chosen = std::move(chosen);
        return 0;
    } catch (...) {
        return -1;
    }
}
