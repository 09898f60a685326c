// listing_file_test.cpp: the kept listing facts read back as written, and every damaged or foreign
// file refused whole.
#include <chrono>
#include <cstdint>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "service/listing_file.hpp"

namespace {

using namespace winemu;
using std::chrono::hours;

const Instant noon = Instant(std::chrono::seconds(1'780'000'000));
const ListingFileKey key{digest_of("build"), digest_of("\\FOLDER"), digest_of("Europe/Paris")};

std::vector<KnownDefinition> some_definitions() {
    return {
        {digest_of("<Task>b</Task>"), {true, false, false}, KnownRunTime{noon, noon + hours(1)}},
        {digest_of("<Task>a</Task>"), {false, true, false}, std::nullopt},
        {digest_of("<Task>refused"), {true, false, true}, std::nullopt},
        {digest_of("<Task>over</Task>"), {true, false, false}, KnownRunTime{noon, std::nullopt}},
    };
}

bool same(const KnownDefinition& a, const KnownDefinition& b) {
    return a.digest == b.digest && a.facts.enabled == b.facts.enabled && a.facts.hidden == b.facts.hidden &&
           a.facts.damaged == b.facts.damaged && a.run == b.run;
}

const KnownDefinition* find(const std::vector<KnownDefinition>& known, const DefinitionDigest& digest) {
    for (const auto& definition : known)
        if (definition.digest == digest) return &definition;
    return nullptr;
}

TEST(ListingFile, ReadsBackWhatWasWrittenAndDropsRunTimesOfAnotherZone) {
    const auto written = some_definitions();
    const std::string text = write_listing_file(key, written);
    EXPECT_EQ(text.size(), listing_file_size(written.size()));
    const auto read = read_listing_file(text, key);
    ASSERT_TRUE(read);
    ASSERT_EQ(read->size(), written.size());
    for (const auto& definition : written) {
        const KnownDefinition* found = find(*read, definition.digest);
        ASSERT_TRUE(found && same(*found, definition));
    }
    // The same definitions in another order make the same file: a listing that learnt nothing new
    // writes nothing.
    std::vector<KnownDefinition> reversed(written.rbegin(), written.rend());
    EXPECT_EQ(write_listing_file(key, reversed), text);

    ListingFileKey other_zone = key;
    other_zone.zone = digest_of("America/New_York");
    const auto facts_only = read_listing_file(text, other_zone);
    ASSERT_TRUE(facts_only);
    for (const auto& definition : *facts_only) EXPECT_FALSE(definition.run);
    EXPECT_EQ(facts_only->size(), written.size());
}

TEST(ListingFile, KeepsAtMostTheBoundOfRecords) {
    std::vector<KnownDefinition> many;
    for (std::size_t i = 0; i < most_listing_records + 10; ++i)
        many.push_back({digest_of(std::to_string(i)), {true, false, false}, std::nullopt});
    const auto read = read_listing_file(write_listing_file(key, many), key);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->size(), most_listing_records);
}

// A file that is not whole, not this layout's or not for this build and folder is refused whole.
TEST(ListingFile, RefusesDamagedTruncatedAndForeignFiles) {
    const std::string good = write_listing_file(key, some_definitions());
    const auto changed = [&](std::size_t at, char byte) {
        std::string text = good;
        text[at] = byte;
        return text;
    };
    // The record count, flags and times sit after the header: 8 + 4 + 4 + 3 * 24 bytes.
    constexpr std::size_t header = 88;
    ListingFileKey other_build = key;
    other_build.build = digest_of("another build");
    ListingFileKey other_folder = key;
    other_folder.folder = digest_of("\\OTHER");
    const struct {
        const char* what;
        std::string text;
        ListingFileKey key;
    } cases[] = {
        {"empty", "", key},
        {"the header only", good.substr(0, header), key},
        {"truncated by a byte", good.substr(0, good.size() - 1), key},
        {"truncated inside a record", good.substr(0, header + 20), key},
        {"a byte more", good + '\0', key},
        {"another magic", changed(0, 'W'), key},
        {"another layout version", changed(8, good[8] + 1), key},
        {"a count beyond the size", changed(12, good[12] + 1), key},
        {"a changed fact (checksum)", changed(header + 24, good[header + 24] ^ 1), key},
        {"a changed run time (checksum)", changed(header + 40, good[header + 40] ^ 1), key},
        {"a changed checksum", changed(good.size() - 1, good.back() ^ 1), key},
        {"another build", good, other_build},
        {"another folder", good, other_folder},
        {"text, not a kept listing", std::string(good.size(), 'x'), key},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_FALSE(read_listing_file(c.text, c.key));
    }
}

}  // namespace
