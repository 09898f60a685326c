// secret_units.cpp: wiping memory, and SecretUnits's own buffer.
#include "scheduler/secret_units.hpp"

#include <new>
#include <utility>

namespace morvane::scheduler {

void wipe_memory(void* bytes, std::size_t count) noexcept {
    volatile unsigned char* cursor = static_cast<volatile unsigned char*>(bytes);
    while (count-- > 0) *cursor++ = 0;
}

std::optional<SecretUnits> SecretUnits::with_length(std::size_t length) noexcept {
    // One unit more than asked: a buffer even for the empty text.
    std::unique_ptr<char16_t[]> units(new (std::nothrow) char16_t[length + 1]());
    if (!units) return std::nullopt;
    return SecretUnits(std::move(units), length);
}

SecretUnits::SecretUnits(SecretUnits&& other) noexcept
    : units_(std::move(other.units_)), length_(std::exchange(other.length_, 0)) {}

SecretUnits::~SecretUnits() {
    if (units_) wipe_memory(units_.get(), (length_ + 1) * sizeof(char16_t));
}

}  // namespace morvane::scheduler
