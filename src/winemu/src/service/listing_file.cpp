// listing_file.cpp: the layout of a folder's kept listing facts, written and checked when read.
#include "service/listing_file.hpp"

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdint>
#include <cstring>
#include <tuple>

namespace winemu {
namespace {

constexpr std::array<char, 8> magic = {'w', 'i', 'n', 'e', 'm', 'u', 'L', 'F'};
// Raised whenever the layout or the meaning of a field changes.
constexpr std::uint32_t layout_version = 1;

constexpr std::size_t digest_bytes = 3 * sizeof(std::uint64_t);
constexpr std::size_t header_bytes = magic.size() + 2 * sizeof(std::uint32_t) + 3 * digest_bytes;
constexpr std::size_t record_bytes = digest_bytes + 3 * sizeof(std::uint64_t);
constexpr std::size_t checksum_bytes = 2 * sizeof(std::uint64_t);

// A record's flags.
constexpr std::uint64_t enabled = 1;
constexpr std::uint64_t hidden = 2;
constexpr std::uint64_t damaged = 4;
constexpr std::uint64_t has_run = 8;
constexpr std::uint64_t has_first = 16;
constexpr std::uint64_t every_flag = 31;

template <typename Value>
void put(std::string& out, Value value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

void put_digest(std::string& out, const DefinitionDigest& digest) {
    put<std::uint64_t>(out, digest.size);
    put(out, digest.first);
    put(out, digest.second);
}

// Reads fixed-width values in order; the caller has checked the size.
class Reader {
public:
    explicit Reader(std::string_view text) : text_(text) {}
    template <typename Value>
    Value take() {
        Value value;
        std::memcpy(&value, text_.data() + at_, sizeof value);
        at_ += sizeof value;
        return value;
    }
    DefinitionDigest digest() {
        DefinitionDigest digest;
        digest.size = static_cast<std::size_t>(take<std::uint64_t>());
        digest.first = take<std::uint64_t>();
        digest.second = take<std::uint64_t>();
        return digest;
    }

private:
    std::string_view text_;
    std::size_t at_ = 0;
};

auto order(const DefinitionDigest& digest) { return std::tie(digest.first, digest.second, digest.size); }

std::int64_t seconds_of(Instant instant) { return instant.time_since_epoch().count(); }
Instant instant_of(std::int64_t seconds) { return Instant(std::chrono::seconds(seconds)); }

}  // namespace

std::size_t listing_file_size(std::size_t records) noexcept {
    return header_bytes + records * record_bytes + checksum_bytes;
}

std::string write_listing_file(const ListingFileKey& key, std::span<const KnownDefinition> known) {
    std::vector<const KnownDefinition*> sorted;
    sorted.reserve(known.size());
    for (const KnownDefinition& definition : known) sorted.push_back(&definition);
    std::ranges::sort(sorted, [](const auto* a, const auto* b) { return order(a->digest) < order(b->digest); });
    if (sorted.size() > most_listing_records) sorted.resize(most_listing_records);

    std::string out;
    out.reserve(listing_file_size(sorted.size()));
    out.append(magic.data(), magic.size());
    put(out, layout_version);
    put(out, static_cast<std::uint32_t>(sorted.size()));
    put_digest(out, key.build);
    put_digest(out, key.folder);
    put_digest(out, key.zone);
    for (const KnownDefinition* definition : sorted) {
        put_digest(out, definition->digest);
        const ListedFacts& facts = definition->facts;
        std::uint64_t flags = (facts.enabled ? enabled : 0u) | (facts.hidden ? hidden : 0u) | (facts.damaged ? damaged : 0u);
        const auto& run = definition->run;
        if (run) flags |= has_run | (run->first ? has_first : 0u);
        put(out, flags);
        put<std::int64_t>(out, run ? seconds_of(run->asked) : 0);
        put<std::int64_t>(out, run && run->first ? seconds_of(*run->first) : 0);
    }
    const DefinitionDigest checksum = digest_of(out);
    put(out, checksum.first);
    put(out, checksum.second);
    return out;
}

std::optional<std::vector<KnownDefinition>> read_listing_file(std::string_view text, const ListingFileKey& key) {
    if (text.size() < listing_file_size(0) || !std::equal(magic.begin(), magic.end(), text.begin())) return std::nullopt;
    Reader header(text.substr(magic.size()));
    if (header.take<std::uint32_t>() != layout_version) return std::nullopt;
    const std::size_t records = header.take<std::uint32_t>();
    if (records > most_listing_records || text.size() != listing_file_size(records)) return std::nullopt;
    if (header.digest() != key.build || header.digest() != key.folder) return std::nullopt;
    const bool same_zone = header.digest() == key.zone;

    const std::string_view body = text.substr(0, text.size() - checksum_bytes);
    Reader trailer(text.substr(body.size()));
    const DefinitionDigest checksum = digest_of(body);
    if (trailer.take<std::uint64_t>() != checksum.first || trailer.take<std::uint64_t>() != checksum.second)
        return std::nullopt;

    std::vector<KnownDefinition> known;
    known.reserve(records);
    Reader reader(body.substr(header_bytes));
    for (std::size_t i = 0; i < records; ++i) {
        KnownDefinition definition{reader.digest(), {}, std::nullopt};
        const auto flags = reader.take<std::uint64_t>();
        const auto asked = reader.take<std::int64_t>();
        const auto first = reader.take<std::int64_t>();
        if ((flags & ~every_flag) != 0 || ((flags & has_first) && !(flags & has_run)) ||
            ((flags & has_first) && first < asked))
            return std::nullopt;
        definition.facts = {(flags & enabled) != 0, (flags & hidden) != 0, (flags & damaged) != 0};
        if (same_zone && (flags & has_run)) {
            definition.run = KnownRunTime{instant_of(asked), std::nullopt};
            if (flags & has_first) definition.run->first = instant_of(first);
        }
        known.push_back(definition);
    }
    return known;
}

}  // namespace winemu
