// listing_cache.cpp: the digests of definitions and what listing learnt of each.
#include "service/listing_cache.hpp"

#include <chrono>
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

}  // namespace

std::string zone_now() {
    // tzname and its fellows are set once the C library first reads the zone (tzset, or the first
    // localtime_r): read before that, they would name a zone the answers were not found under.
    static const bool zone_read = [] {
        const std::time_t epoch = 0;
        std::tm fields{};
        return localtime_r(&epoch, &fields) != nullptr;
    }();
    (void)zone_read;
    std::string zone = tzname[0] ? tzname[0] : "";
    zone += '\n';
    zone += tzname[1] ? tzname[1] : "";
    zone += '\n' + std::to_string(timezone) + '\n' + std::to_string(daylight);
    return zone;
}

namespace {

struct KnownRun {
    KnownRunTime time;
    std::string zone;  // the zone it was found under
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

}  // namespace

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
    if (run.zone != zone || after < run.time.asked) return std::nullopt;
    if (run.time.first && after > *run.time.first) return std::nullopt;  // that time has come: look again
    return run.time.first;
}

void remember_first_run_time(const DefinitionDigest& digest, Instant after, std::optional<Instant> first) {
    std::string zone = zone_now();
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    known.entry(digest).run = KnownRun{{after, first}, std::move(zone)};
}

std::optional<KnownDefinition> known_definition(const DefinitionDigest& digest) {
    std::string zone = zone_now();
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    const auto found = known.entries.find(digest);
    if (found == known.entries.end() || !found->second.facts) return std::nullopt;
    KnownDefinition definition{digest, *found->second.facts, std::nullopt};
    if (const auto& run = found->second.run; run && run->zone == zone) definition.run = run->time;
    return definition;
}

void adopt_known(const KnownDefinition& adopted) {
    std::string zone = zone_now();
    Cache& known = cache();
    const std::lock_guard guard(known.lock);
    Entry& entry = known.entry(adopted.digest);
    if (!entry.facts) entry.facts = adopted.facts;
    if (!entry.run && adopted.run) entry.run = KnownRun{*adopted.run, std::move(zone)};
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
