// task_library.hpp: where the task library lives (the directory that holds every task).
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

namespace winemu {

class Computer;

// The library's directory: set by winemu_set_task_library, else $MORVANE_TASK_LIBRARY, else
// $XDG_STATE_HOME/morvane/tasks, else $HOME/.local/state/morvane/tasks. Never ends in '/'.
std::string task_library();

// A library as an object of the service took it, kept current: once another library is chosen
// (winemu_set_task_library), the object acts on the new one, as an object made after the choice
// would. A session opened before a test chose its own library thus never reaches the library it
// left (the user's own tasks, say). Copyable; the path is read again only after a new choice.
class FollowedLibrary {
public:
    // The library chosen now, called through by the process's own account.
    FollowedLibrary();
    // The library chosen now, called through by `account` (the name Connect logged on; none: the
    // process's own account).
    explicit FollowedLibrary(std::optional<std::string> account);
    // The library of another computer, called through by `account` (none: the process's own, as
    // a connection without credentials acts). It stays that computer's whatever is chosen locally.
    FollowedLibrary(std::shared_ptr<const Computer> computer, std::optional<std::string> account);
    // The library to act on: the one taken, or the one chosen since.
    std::string path() const;
    // Whether the library taken is still the one chosen.
    bool current() const noexcept;
    // The account Connect logged on; none when the connection acts as the process's own.
    const std::optional<std::string>& account() const noexcept { return account_; }
    // The other computer whose library this is; null for this computer's.
    const std::shared_ptr<const Computer>& computer() const noexcept { return computer_; }

private:
    std::uint64_t choice_;
    std::string path_;
    std::optional<std::string> account_;
    std::shared_ptr<const Computer> computer_;
};

// Creates the directory and its parents when missing; false when that fails.
bool ensure_directories(const std::string& directory);

}  // namespace winemu
