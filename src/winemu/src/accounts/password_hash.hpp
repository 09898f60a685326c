// password_hash.hpp: an account's password kept as an Argon2id hash, never as text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winemu {

// The password's hash in libsodium's string form ("$argon2id$v=19$m=...,t=...,p=1$salt$hash"),
// with a fresh salt; nothing when libsodium cannot start or memory runs out.
std::optional<std::string> hash_password(std::string_view password);

// Whether `password` is the one `hash` was made from; false for a hash that is no such string.
bool verify_password(const std::string& hash, std::string_view password);

}  // namespace winemu
