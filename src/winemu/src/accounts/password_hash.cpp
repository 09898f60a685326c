// password_hash.cpp: Argon2id password hashes made and verified with libsodium.
#include "accounts/password_hash.hpp"

#include <sodium.h>

namespace winemu {

namespace {

/* The cost of one hash. A logon verifies one, and a test suite logs on hundreds of times, so the
 * cost aims at 10-50 ms on a small machine: two passes over 16 MiB took about 20-30 ms on two
 * shared cores, where libsodium's "interactive" limits (64 MiB) take four times as long. The
 * hashes are of an emulated computer's test accounts, kept in a private file of the user's own:
 * the cost stands in for Windows' and keeps a stolen file from giving passwords back cheaply. */
constexpr unsigned long long hash_passes = 2;
constexpr std::size_t hash_memory = std::size_t{16} << 20;

bool sodium_ready() {
    static const bool ready = sodium_init() >= 0;
    return ready;
}

}  // namespace

std::optional<std::string> hash_password(std::string_view password) {
    if (!sodium_ready()) return std::nullopt;
    char hash[crypto_pwhash_STRBYTES] = {};
    if (crypto_pwhash_str(hash, password.data(), password.size(), hash_passes, hash_memory) != 0) return std::nullopt;
    return std::string(hash);
}

bool verify_password(const std::string& hash, std::string_view password) {
    if (!sodium_ready() || hash.size() >= crypto_pwhash_STRBYTES) return false;
    return crypto_pwhash_str_verify(hash.c_str(), password.data(), password.size()) == 0;
}

}  // namespace winemu
