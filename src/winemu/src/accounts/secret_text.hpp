// secret_text.hpp: a password's text wiped from memory once it is no longer needed.
#pragma once

#include <sodium.h>

#include <string>

namespace winemu {

// Overwrites the text with zeros (a write the compiler may not drop) and empties it.
inline void wipe_secret(std::string& secret) noexcept {
    sodium_memzero(secret.data(), secret.size());
    secret.clear();
}

}  // namespace winemu
