// listing_file.hpp: the file in which a folder's learnt facts are kept between processes: its
// layout, written and read back; no input or output here.
#pragma once

#include <cstddef>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "service/listing_cache.hpp"

namespace winemu {

/* === Layout ===
 * A header, fixed-width records, a checksum, in the byte order of the machine that wrote it:
 *   magic (8 bytes) | version (u32) | record count (u32) | build (24) | folder (24) | zone (24)
 *   records: digest size, first, second (3 x u64) | flags (u64) | asked, first run (2 x i64)
 *   checksum: the two hashes of digest_of over everything before it (2 x u64)
 * The build, folder and zone are digests (as digest_of makes them) of what the file is valid for:
 * the winemu that wrote it (its build identity; the trigger engine and the checks are that
 * build's), the folder whose definitions it describes, the time zone its run times were found
 * under. A file of another build, another folder, another version, of the wrong size or checksum
 * is not read at all; under another zone, its run times are left out and its facts kept. */

// What a file is valid for.
struct ListingFileKey {
    DefinitionDigest build;
    DefinitionDigest folder;
    DefinitionDigest zone;
};

// The most records a file holds: a folder with more keeps those of its first definitions, by digest.
inline constexpr std::size_t most_listing_records = 4096;
// The size of a file of `records` records.
std::size_t listing_file_size(std::size_t records) noexcept;

// The file's text for `known` (sorted by digest, at most most_listing_records of them).
std::string write_listing_file(const ListingFileKey& key, std::span<const KnownDefinition> known);

// What a file says for `key`, or nothing when it is not a whole file of this layout for the build
// and folder of `key`; run times only when its zone is `key`'s.
std::optional<std::vector<KnownDefinition>> read_listing_file(std::string_view text, const ListingFileKey& key);

}  // namespace winemu
