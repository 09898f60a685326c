// definition_digest.hpp: the digest by which what is learnt of a definition's text is kept.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace winemu {

// Two independent 64-bit hashes of the text and its length: no text is kept. Unseeded, so that a
// text has the same digest in every process of one build and can key what is kept on disk.
struct DefinitionDigest {
    std::size_t size = 0;
    std::uint64_t first = 0;
    std::uint64_t second = 0;
    bool operator==(const DefinitionDigest&) const = default;
};

DefinitionDigest digest_of(std::string_view definition) noexcept;

}  // namespace winemu
