// operation_docs.hpp: the docstrings of the task operations, each written once and joined at
// compile time to the text signature of the module function and of the Scheduler method.
#pragma once

#include <array>
#include <cstddef>

namespace morvane::module::docs {

// The parts one after another, as one NUL-terminated array of static storage when the result is
// kept in a constexpr variable: PyMethodDef keeps a pointer to it.
template <std::size_t... Sizes>
consteval std::array<char, (Sizes + ...) - sizeof...(Sizes) + 1> join(const char (&... parts)[Sizes]) {
    std::array<char, (Sizes + ...) - sizeof...(Sizes) + 1> joined{};
    std::size_t at = 0;
    auto append = [&](const char* part, std::size_t size) {
        for (std::size_t index = 0; index + 1 < size; ++index) joined[at++] = part[index];
    };
    (append(parts, Sizes), ...);
    joined[at] = '\0';
    return joined;
}

// The module functions of _morvane_backend keep no docstring; their Scheduler methods have these.
inline constexpr char kTaskExists[] =
    "True when the task is registered; False when it or a folder on its path is missing.";
inline constexpr char kRunTask[] = "Starts a registered task now; does not wait for it.";
inline constexpr char kDeleteTask[] = "Removes a registered task.";
inline constexpr char kRegisterXml[] =
    "Creates a task from its XML definition, or replaces the definition of an existing one.";

inline constexpr char kListTasks[] =
    "The tasks of a folder, and of its subfolders when recursive; hidden ones too when hidden.";
inline constexpr char kTaskInfo[] = "What the service tells of a registered task.";
inline constexpr char kTaskXml[] = "The registered definition of a task, as the service returns it.";
inline constexpr char kEnableTask[] = "Enables a registered task.";
inline constexpr char kDisableTask[] = "Disables a registered task.";
inline constexpr char kStopTask[] = "Stops every running instance of a registered task.";
inline constexpr char kRunTimes[] =
    "When the task's triggers start it between two aware datetimes, in order, each instant once, at most\n"
    "max_count times (None: all of them). Results are aware local datetimes with the offset of their\n"
    "instant; a disabled task starts at none. Naive datetimes raise TypeError; an end before the start,\n"
    "or a max_count below 1, ValueError.";

}  // namespace morvane::module::docs
