// service_environment.hpp: the environment the emulated service gives its tasks, taken once.
#pragma once

/* === Why a copy, and when it is taken ===
 * On Windows a task's actions never get their caller's environment: the service starts them with
 * the principal's own. The emulated service lives in its caller's process, where any thread may
 * change the environment at any time (setenv reallocates `environ`, and a reader without the
 * interpreter's lock would read freed memory). So winemu reads no live environment after it is
 * loaded: it takes a copy once, as libwinemu is loaded (by the import that loads the extension,
 * which holds the interpreter's lock; by the runner, which is single-threaded), and the control API
 * alone replaces it (winemu_set_environment). The copy expands an action's %NAME% references,
 * finds its program along PATH, is the environment its process and the runner start with, and
 * gives the default task library's location. */

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace winemu {

class ServiceEnvironment {
public:
    // Entries "NAME=value"; an entry without '=' is kept for the processes but names nothing.
    explicit ServiceEnvironment(std::vector<std::string> entries);
    ServiceEnvironment(const ServiceEnvironment&) = delete;
    ServiceEnvironment& operator=(const ServiceEnvironment&) = delete;

    // The value of the variable: an exact match of the name first, then one ignoring ASCII case,
    // as Windows matches names.
    std::optional<std::string_view> value(std::string_view name) const noexcept;
    // NULL-terminated "NAME=value" pointers, for execve and posix_spawn; lives as long as this.
    char* const* block() const noexcept { return pointers_.data(); }

private:
    std::vector<std::string> entries_;
    std::vector<char*> pointers_;
};

// The environment in force; a later winemu_set_environment leaves the one handed out intact.
std::shared_ptr<const ServiceEnvironment> service_environment();
// Counts the environments taken (1 after loading): a reader that keeps what it derived from one
// asks this, without a lock, whether to derive it again.
std::uint64_t environment_generation() noexcept;

}  // namespace winemu
