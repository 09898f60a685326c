// password_hash.hpp: an account's password kept as a hash, never as text (libsodium's Argon2id).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winemu {

// The password's hash in libsodium's text form ("$argon2id$v=19$m=...,t=...,p=1$salt$hash", salted
// afresh each time), or nothing when the library cannot start or cannot have the memory it needs.
std::optional<std::string> hash_password(std::string_view password);

// True only when `password` is the one `hash` was made from; a hash that is not one of ours is false.
bool verify_password(const std::string& hash, std::string_view password);

}  // namespace winemu
