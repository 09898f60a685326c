// task_names.hpp: Windows' rules for the names of tasks and task folders.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "com/hresult_or.hpp"

namespace winemu {

// A path inside the task library as its elements from the root, in the caller's spelling.
// Empty means the root folder itself.
using PathElements = std::vector<std::u16string>;

// The longest element and the longest whole path (with its leading '\'), in UTF-16 units.
inline constexpr std::size_t longest_name_element = 255;
inline constexpr std::size_t longest_task_path = 260;

// Resolves a task or folder name given to the folder at `base`: a leading '\' starts at the root,
// '\' separates folders. Gives HRESULT_FROM_WIN32(ERROR_INVALID_NAME) for a name Windows refuses
// (".", "..", an empty element, a trailing '\', an element that begins or ends with a space,
// control characters, <>:"/|?*, an unpaired surrogate) and HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE) for one that is too long.
HResultOr<PathElements> resolve_task_path(std::u16string_view name, const PathElements& base);

// "\" for the root, else "\A\B".
std::u16string display_path(const PathElements& path);

}  // namespace winemu
