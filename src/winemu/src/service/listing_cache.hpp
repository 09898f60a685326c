// listing_cache.hpp: what listing learns of a definition (its checks, its next run time), kept by
// the digest of its text so that listing the same definitions again neither parses nor expands them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "library/task_xml.hpp"
#include "library/trigger_run_times.hpp"
#include "library/definition_digest.hpp"

namespace winemu {

/* === Why a cache, and what it relies on ===
 * A listing reports for every task whether it is enabled and its next run time. Both are
 * functions of the definition's text alone, and the next run time also of the moment asked and of
 * the process's time zone. Checking a definition takes a parse, and the next run time an
 * expansion of the triggers: done for every task at every listing, they cost several times the
 * reading of the files. So each is kept here by the text's digest (two 64-bit hashes and the
 * length: no text is kept), and a next run time N found for the moment A is given again for any
 * later moment B <= N: the triggers give no time in [A, N), so none in [B, N) either; nothing found
 * stays nothing. This holds as long as the trigger engine's answer depends on the definition, the
 * moment and the time zone only. The zone is the C library's own (its names and offset as tzset
 * last set them): an answer found under another zone is not given. The cache is bounded; when
 * full it starts again empty. What a registration or a change of Enabled checked and stored is
 * kept at once: a listing that follows finds every definition the process wrote already known,
 * as a service knows the tasks it registered. What is learnt is also kept on disk, per folder
 * (listing_disk_cache.hpp), so that a new process's first listing need not learn it again. */

// What the service's checks say of a definition, as a listing needs it.
struct ListedFacts {
    bool enabled = true;
    bool hidden = false;
    bool damaged = false;  // refused by the checks
};

// The process's time zone as the C library holds it (its names and offsets as tzset last set them).
std::string zone_now();

std::optional<ListedFacts> cached_facts(const DefinitionDigest& digest);

// A first run time `first` (nothing: none) found at or after the moment `asked`.
struct KnownRunTime {
    Instant asked;
    std::optional<Instant> first;
    bool operator==(const KnownRunTime&) const = default;
};

// All the cache knows of a definition: its facts, and its first run time when it was found under
// the time zone of now.
struct KnownDefinition {
    DefinitionDigest digest;
    ListedFacts facts;
    std::optional<KnownRunTime> run;
};

std::optional<KnownDefinition> known_definition(const DefinitionDigest& digest);
// Takes what was learnt elsewhere (another process), with its run time found under the zone of
// now, for what the cache does not know yet: what this process learnt itself stays.
void adopt_known(const KnownDefinition& known);
void remember_facts(const DefinitionDigest& digest, ListedFacts facts);

// The first run time at or after `after` (nothing inside: none any more), when it is known.
std::optional<std::optional<Instant>> cached_first_run_time(const DefinitionDigest& digest, Instant after);
void remember_first_run_time(const DefinitionDigest& digest, Instant after, std::optional<Instant> first);

// What the service's checks read of a definition it stored (its text as stored, UTF-8): its facts,
// and its next run time when it is enabled.
void remember_stored(std::string_view stored_xml, const TaskDefinition& definition);

// The first run time at or after `after`: from the cache, else from the definition's triggers
// (then kept).
std::optional<Instant> first_run_time_cached(const DefinitionDigest& digest, const TriggerRules& triggers,
                                             Instant after);

}  // namespace winemu
