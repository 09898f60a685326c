// task_paths.hpp: where a task or a folder of the library lives on disk.
#pragma once

/* === On-disk layout ===
 * Every element of a task path maps to a file name derived from the element alone: the element is
 * upper-cased per UTF-16 unit (as Windows' case table does) and escaped so that the result holds
 * only ASCII letters and digits, "~XX" for every other ASCII character, and the UTF-8 of anything
 * beyond ASCII. So a name can never produce "/", ".", ".." or NUL, and equal names in any case
 * meet at the same file. A prefix says what the entry is:
 *     d.NAME   a folder (a directory), its spelling in NAME/.name
 *     t.NAME   a task's definition, its spelling on the file's first line
 *     r.NAME   the start records of the task t.NAME
 *     c.PART   a directory holding the rest of an element whose escaped form is too long for
 *              one file name (split between characters)
 * Temporary files start with "." and so never meet any of these. A lookup is then one open() of
 * a path computed from the name: no directory is ever listed. */

#include <string>
#include <string_view>

#include "task_names.hpp"

namespace winemu {

// The element upper-cased per UTF-16 unit (surrogates and unmapped units unchanged).
std::u16string fold_case(std::u16string_view element);

// The directory of a folder (the root: the library itself).
std::string folder_directory(const std::string& library, const PathElements& folder);

// The files of one task (path not empty).
struct TaskFiles {
    std::string folder;      // directory of the folder that holds the task
    std::string directory;   // directory that holds the files below (differs when the name is split)
    std::string definition;  // t.NAME
    std::string runs;        // r.NAME
    std::string as_folder;   // d.NAME: where a folder of the same name would be
};
TaskFiles task_files(const std::string& library, const PathElements& path);

// The file inside a folder's directory that keeps the folder's spelling.
inline constexpr std::string_view folder_spelling_file = ".name";

}  // namespace winemu
