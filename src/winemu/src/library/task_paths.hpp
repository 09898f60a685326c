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
 * Temporary files start with "." and so never meet any of these, nor does the library's
 * ".listing" directory, where the service keeps what listing learnt (listing_disk_cache.hpp). A lookup then opens names
 * computed from the task's name, one directory at a time (library_files.hpp): no directory is
 * ever listed. */

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "library/task_names.hpp"

namespace winemu {

// The element upper-cased per UTF-16 unit (surrogates and unmapped units unchanged).
std::u16string fold_case(std::u16string_view element);

// Where one element of a task path lives inside its folder's directory: the directories "c.PIECE"
// of a split name, one inside the other, then the entry itself, named prefix + escaped.
struct EntryName {
    std::vector<std::string> pieces;  // "c.PIECE" directory names, outermost first (usually none)
    std::string escaped;              // the last piece of the escaped element

    std::string folder() const { return "d." + escaped; }
    std::string definition() const { return "t." + escaped; }
    std::string runs() const { return "r." + escaped; }
};
EntryName entry_name(std::u16string_view element);

// A path of the library with each element folded and escaped once: made where a call receives the
// path, then taken by every step of that call (the folder walk, the definition, the start records).
struct ResolvedTaskPath {
    explicit ResolvedTaskPath(PathElements path);

    PathElements elements;           // as the caller spelled them
    std::vector<EntryName> entries;  // one per element
    std::u16string folded;           // the display path folded: what a task file's path line must fold to
};

// The folded element that an escaped name (its pieces joined, prefixes removed) stands for;
// nothing when the text is no escaped name. What a listing shows when no spelling is kept.
std::optional<std::u16string> element_from_escaped(std::string_view escaped);

// The file inside a folder's directory that keeps the folder's spelling.
inline constexpr const char* folder_spelling_file = ".name";
// The file inside a folder's directory (the library's own for the root) that keeps the folder's
// security descriptor as SDDL; none: the folder has the default one.
inline constexpr const char* folder_security_file = ".security";

}  // namespace winemu
