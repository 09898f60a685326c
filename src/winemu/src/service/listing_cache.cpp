// listing_cache.cpp: the digests of definitions and what listing learnt of each.
#include "service/listing_cache.hpp"

#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>

#include "service/run_times.hpp"

namespace winemu {
namespace {

// Enough for the largest libraries listed in one process; a cleared cache only costs the work again.
constexpr std::size_t most_entries = 1 << 16;

struct DigestHash {
    std::size_t operator()(const DefinitionDigest& digest) const noexcept {
        return static_cast<std::size_t>(digest.first ^ (digest.second * 0x9E3779B97F4A7C15ull) ^ digest.size);
    }
};

// The time zone as the C library last read it (tzset sets these; localtime_r follows them).
std::string zone_now() {
    std::string zone = tzname[0] ? tzname[0] : "";
    zone += '\n';
    zone += tzname[1] ? tzname[1] : "";
    zone += '\n' + std::to_string(timezone) + '\n' + std::to_string(daylight);
    return zone;
}

struct KnownRun {
    Instant asked;                // the moment it was found for
    std::optional<Instant> first;  // at or after `asked`
    std::string zone;
};

struct Entry {
    std::optional<ListedFacts> facts;
    std::optional<KnownRun> run;
};

struct Cache {
    std::mutex lock;
    std::unordered_map<DefinitionDigest, Entry, DigestHash> entries;

    Entry& entry(const DefinitionDigest& digest) {
        if (entries.size() >= most_entries && !entries.contains(digest)) entries.clear();
        return entries[digest];
    }
};

Cache& cache() {
    // Never destroyed: threads still listing at exit may use it.
    static Cache& instance = *new Cache;
    return instance;
}

// FNV-1a over 64 bits, and the same with another basis and a multiply per eight bytes: two
// independent digests of one pass each.
std::uint64_t fnv1a(std::string_view text) noexcept {
    std::uint64_t hash = 0xCBF29CE484222325ull;
    for (const unsigned char c : text) hash = (hash ^ c) * 0x100000001B3ull;
    return hash;
}

std::uint64_t word_hash(std::string_view text) noexcept {
    std::uint64_t hash = 0x84222325CBF29CE4ull;
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word = 0;
        for (std::size_t j = 0; j < 8; ++j) word |= std::uint64_t(static_cast<unsigned char>(text[i + j])) << (8 * j);
        hash = (hash ^ word) * 0xFF51AFD7ED558CCDull;
        hash ^= hash >> 33;
    }
    for (; i < text.size(); ++i) hash = (hash ^ static_cast<unsigned char>(text[i])) * 0xC4CEB9FE1A85EC53ull;
    return hash;
}

}  // namespace

DefinitionDigest digest_of(std::string_view definition) noexcept {
    return {definition.size(), fnv1a(definition), word_hash(definition)};
}

std::optional<ListedFacts> cached_facts(const DefinitionDigest& digest) {
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    const auto found = known.entries.find(digest);
    if (found == known.entries.end()) return std::nullopt;
    return found->second.facts;
}

void remember_facts(const DefinitionDigest& digest, ListedFacts facts) {
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    known.entry(digest).facts = facts;
}

std::optional<std::optional<Instant>> cached_first_run_time(const DefinitionDigest& digest, Instant after) {
    std::string zone = zone_now();
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    const auto found = known.entries.find(digest);
    if (found == known.entries.end() || !found->second.run) return std::nullopt;
    const KnownRun& run = *found->second.run;
    if (run.zone != zone || after < run.asked) return std::nullopt;
    if (run.first && after > *run.first) return std::nullopt;  // that time has come: look again
    return run.first;
}

void remember_first_run_time(const DefinitionDigest& digest, Instant after, std::optional<Instant> first) {
    std::string zone = zone_now();
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    known.entry(digest).run = KnownRun{after, first, std::move(zone)};
}

std::optional<Instant> first_run_time_cached(const DefinitionDigest& digest, const TriggerRules& triggers,
                                             Instant after) {
    if (auto known = cached_first_run_time(digest, after)) return *known;
    const auto first = first_run_time(triggers, after);
    remember_first_run_time(digest, after, first);
    return first;
}

}  // namespace winemu
