// definition_digest.cpp: two 64-bit hashes of a definition's text and its length.
#include "library/definition_digest.hpp"

#include <cstring>
#include <utility>

namespace winemu {
namespace {

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

}  // namespace winemu
