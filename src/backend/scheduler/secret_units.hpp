// secret_units.hpp: SecretUnits, a password held in memory of its own and wiped before that memory
// is freed, and wipe_memory, the wipe that the compiler may not leave out.
// Free of platform names: the Python module includes it.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

namespace morvane::scheduler {

// Overwrites the bytes with zeros through volatile stores, which an optimiser must keep even
// when the memory is freed right after (as SecureZeroMemory does on Windows).
void wipe_memory(void* bytes, std::size_t count) noexcept;

// UTF-16 units that only this object holds: no copies (moves hand the buffer over), no growth
// (its length is fixed when it is made, so no reallocation leaves the text behind), and the
// units are wiped when it is destroyed.
class SecretUnits {
public:
    // `length` units set to zero, for the caller to fill; none when memory runs out.
    static std::optional<SecretUnits> with_length(std::size_t length) noexcept;

    SecretUnits(SecretUnits&& other) noexcept;
    SecretUnits& operator=(SecretUnits&&) = delete;
    SecretUnits(const SecretUnits&) = delete;
    SecretUnits& operator=(const SecretUnits&) = delete;
    ~SecretUnits();

    char16_t* data() noexcept { return units_.get(); }
    std::u16string_view view() const noexcept { return {units_.get(), length_}; }

private:
    SecretUnits(std::unique_ptr<char16_t[]> units, std::size_t length) noexcept
        : units_(std::move(units)), length_(length) {}

    std::unique_ptr<char16_t[]> units_;
    std::size_t length_;
};

}  // namespace morvane::scheduler
