// task_library.cpp: where the task library lives, and the control API that moves it.
#include "library/task_library.hpp"

#include <sys/stat.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <mutex>
#include <optional>
#include <utility>

#include <winemu/control.h>

#include "control/control_text.hpp"
#include "library/computers.hpp"
#include "control/service_environment.hpp"

namespace winemu {
namespace {

struct LibraryLocation {
    std::mutex lock;
    std::optional<std::string> chosen;  // set by winemu_set_task_library
};

// How many times a library was chosen (0: never), changed with `chosen` under its lock. Every call
// reads the location: a thread keeps a copy of the choice it last saw, and only a new choice
// sends it to the lock, which calls on other threads would otherwise all take.
std::atomic<std::uint64_t> choices{0};

LibraryLocation& location() {
    // Never destroyed: threads still running at exit may look the library up.
    static LibraryLocation& instance = *new LibraryLocation;
    return instance;
}

std::string from_environment() {
    const auto environment = service_environment();
    const auto library = environment->value("MORVANE_TASK_LIBRARY");
    if (library && !library->empty()) return std::string(*library);
    const auto state = environment->value("XDG_STATE_HOME");
    if (state && !state->empty()) return std::string(*state) + "/morvane/tasks";
    return std::string(environment->value("HOME").value_or("")) + "/.local/state/morvane/tasks";
}

std::string without_trailing_slashes(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

}  // namespace

std::string task_library() {
    const std::uint64_t choice = choices.load(std::memory_order_acquire);
    if (choice == 0) {
        // Derived again only when the service's environment was replaced.
        thread_local struct {
            std::uint64_t generation = 0;
            std::string path;
        } derived;
        const std::uint64_t generation = environment_generation();
        if (derived.generation != generation) {
            derived.path = without_trailing_slashes(from_environment());
            derived.generation = generation;
        }
        return derived.path;
    }
    thread_local struct {
        std::uint64_t choice = 0;
        std::string path;
    } seen;
    if (seen.choice != choice) {
        LibraryLocation& library = location();
        const std::lock_guard guard(library.lock);
        seen.path = *library.chosen;
        seen.choice = choices.load(std::memory_order_relaxed);  // the choice read, perhaps a newer one
    }
    return seen.path;
}

FollowedLibrary::FollowedLibrary() : FollowedLibrary(std::nullopt) {}

FollowedLibrary::FollowedLibrary(std::optional<std::string> account)
    : choice_(choices.load(std::memory_order_acquire)), path_(task_library()), account_(std::move(account)) {}

FollowedLibrary::FollowedLibrary(std::shared_ptr<const Computer> computer, std::optional<std::string> account)
    : choice_(0), path_(computer->library()), account_(std::move(account)), computer_(std::move(computer)) {}

std::string FollowedLibrary::path() const { return current() ? path_ : task_library(); }

bool FollowedLibrary::current() const noexcept {
    return computer_ || choices.load(std::memory_order_acquire) == choice_;
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
        winemu::choices.fetch_add(1, std::memory_order_release);
        return 0;
    } catch (...) {
        return -1;
    }
}
