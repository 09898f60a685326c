// listing_disk_cache.hpp: what listing learnt of a folder's definitions (listing_cache.hpp), kept
// in the library between processes, so that a new process's first listing reads one small file
// per folder instead of parsing and expanding every definition.
#pragma once

#include <string>
#include <vector>

#include "library/task_names.hpp"
#include "service/listing_cache.hpp"
#include "service/listing_file.hpp"

namespace winemu {

/* === What is kept, where, and why it can be trusted ===
 * One file per folder, in the library's ".listing" directory (a name no task or folder can have),
 * named by the digest of the folder's folded path, in the layout of listing_file.hpp. It says for
 * the digest of each definition text what the in-process cache says: the checks' facts, and a
 * first run time with the moment it was found for. It is keyed by all that the answers depend on:
 * the definition's text (its digest, of the text the listing reads anyway, never its size or
 * mtime: a definition rewritten by hand or by another process is a miss), the build of winemu
 * (the checks and the trigger engine are its own), and the time zone (names and offsets as the C
 * library holds them, TZ, and the zone file's content, so that new zone rules are a miss too). A
 * file that is damaged, truncated, of another layout version, build or folder is ignored.
 *
 * A listing reads the file only when it meets something the process does not know, and writes
 * it only when it learnt something, or when this process never wrote or read that file: the
 * file's whole text, replaced atomically (an unnamed file renamed into place, writers one at a
 * time under a lock on the directory), so a reader sees a whole file, old or new. A library that
 * cannot be written (read-only, someone else's) is not written and fails nothing: the cache is
 * only ever a shortcut. Bounded: at most most_listing_records records a file and most_kept_files
 * files; a new file past that bound starts the directory again empty. */

inline constexpr const char* kept_listing_directory = ".listing";
inline constexpr std::size_t most_kept_files = 1024;

// One listing of one folder, as it meets definitions and learns of them.
class FolderLearning {
public:
    FolderLearning(std::string library, const PathElements& folder);

    // Takes what the folder's file keeps into the in-process cache; once a listing, before the
    // listing learns anything itself.
    void recall();
    // A definition the listing met; `learnt`: the listing had to learn something of it now.
    void met(const DefinitionDigest& digest, bool learnt);
    // Writes the folder's file when it would now say what the file does not.
    void keep();

private:
    std::string library_;
    std::string file_name_;
    DefinitionDigest folder_;
    std::vector<DefinitionDigest> met_;
    bool recalled_ = false;
    bool learnt_ = false;
};

}  // namespace winemu
