// listing_cache.cpp: the digests of definitions and what listing learnt of each.
#include "service/listing_cache.hpp"

#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>

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

// Two independent 64-bit hashes in one pass, eight bytes at a time: a multiply and a shift per
// word each (the text is hashed at every listing, so a byte at a time costs more than the parse
// it saves, once the definitions are known).
std::pair<std::uint64_t, std::uint64_t> word_hashes(std::string_view text) noexcept {
    std::uint64_t first = 0xCBF29CE484222325ull;
    std::uint64_t second = 0x84222325CBF29CE4ull;
    const auto mix = [&](std::uint64_t word) {
        first = (first ^ word) * 0x100000001B3ull;
        first ^= first >> 29;
        second = (second ^ word) * 0xFF51AFD7ED558CCDull;
        second ^= second >> 33;
    };
    std::size_t i = 0;
    for (; i + 8 <= text.size(); i += 8) {
        std::uint64_t word;
        std::memcpy(&word, text.data() + i, sizeof word);
        mix(word);
    }
    std::uint64_t tail = 0;
    for (std::size_t j = 0; i + j < text.size(); ++j)
        tail |= std::uint64_t(static_cast<unsigned char>(text[i + j])) << (8 * j);
    mix(tail);
    return {first, second};
}

}  // namespace

DefinitionDigest digest_of(std::string_view definition) noexcept {
    const auto [first, second] = word_hashes(definition);
    return {definition.size(), first, second};
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

void remember_stored(std::string_view stored_xml, const TaskDefinition& definition) {
    const DefinitionDigest digest = digest_of(stored_xml);
    remember_facts(digest, {definition.enabled, definition.hidden, false});
    if (!definition.enabled) return;
    const Instant after =
        std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) + std::chrono::seconds(1);
    remember_first_run_time(digest, after, first_run_time(definition.triggers, after));
}

std::optional<Instant> first_run_time_cached(const DefinitionDigest& digest, const TriggerRules& triggers,
                                             Instant after) {
    if (auto known = cached_first_run_time(digest, after)) return *known;
    const auto first = first_run_time(triggers, after);
    remember_first_run_time(digest, after, first);
    return first;
}

}  // namespace winemu
