// guid_text.cpp: new random GUIDs in the text form Windows shows them.
#include "com/guid_text.hpp"

#include <sys/random.h>

#include <chrono>
#include <cstdint>
#include <random>

namespace winemu {
namespace {

void random_bytes(std::uint8_t (&bytes)[16]) {
    if (getrandom(bytes, sizeof bytes, 0) == static_cast<ssize_t>(sizeof bytes)) return;
    // No kernel randomness: a clock-seeded generator still makes collisions unlikely.
    std::mt19937_64 generator(static_cast<std::uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()));
    for (auto& byte : bytes) byte = static_cast<std::uint8_t>(generator());
}

}  // namespace

std::u16string new_guid_text() {
    std::uint8_t bytes[16];
    random_bytes(bytes);
    bytes[6] = static_cast<std::uint8_t>((bytes[6] & 0x0F) | 0x40);
    bytes[8] = static_cast<std::uint8_t>((bytes[8] & 0x3F) | 0x80);
    static constexpr char16_t hex[] = u"0123456789ABCDEF";
    std::u16string text = u"{";
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) text.push_back(u'-');
        text.push_back(hex[bytes[i] >> 4]);
        text.push_back(hex[bytes[i] & 0xF]);
    }
    text.push_back(u'}');
    return text;
}

}  // namespace winemu
