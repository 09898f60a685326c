// password_hash.cpp: Argon2id through libsodium, with limits that keep one verification near 10-50 ms:
// an emulated logon checks a password on every Connect and registration that names an account,
// and tests log on thousands of times; the hashes never leave the emulated computer.
#include "accounts/password_hash.hpp"

#include <sodium.h>

#include <cstring>

namespace winemu {

namespace {

// Two passes over 16 MiB: within Argon2id's bounds, a fraction of libsodium's "interactive" cost.
constexpr unsigned long long hash_passes = 2;
constexpr std::size_t hash_memory = std::size_t{16} << 20;

// sodium_init picks the fastest implementations and seeds the generator of salts; libsodium
// allows it from several threads at once and any number of times.
bool sodium_ready() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

std::optional<std::string> hash_password(std::string_view password) {
    if (!sodium_ready()) return std::nullopt;
    char text[crypto_pwhash_STRBYTES];
    if (crypto_pwhash_str_alg(text, password.data(), password.size(), hash_passes, hash_memory,
                              crypto_pwhash_ALG_ARGON2ID13) != 0) {
        return std::nullopt;
    }
    return std::string(text);
}

bool verify_password(const std::string& hash, std::string_view password) {
    if (!sodium_ready()) return false;
    // libsodium reads the hash up to its terminator, which must fall within its fixed size: a hash
    // with a NUL inside or longer than any it makes would otherwise be read only in part.
    if (hash.size() >= crypto_pwhash_STRBYTES || std::strlen(hash.c_str()) != hash.size()) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace winemu
