// secret_text.cpp: wiping memory, and SecretText's own buffer.
#include "scheduler/secret_text.hpp"

#include <new>
#include <utility>

namespace morvane::scheduler {

void wipe_memory(void* bytes, std::size_t count) noexcept {
    volatile unsigned char* cursor = static_cast<volatile unsigned char*>(bytes);
    while (count-- > 0) *cursor++ = 0;
}

std::optional<SecretText> SecretText::with_length(std::size_t length) noexcept {
    // One unit more than asked: a buffer even for the empty text.
    std::unique_ptr<char16_t[]> units(new (std::nothrow) char16_t[length + 1]());
    if (!units) return std::nullopt;
    return SecretText(std::move(units), length);
}

SecretText::SecretText(SecretText&& other) noexcept
    : units_(std::move(other.units_)), length_(std::exchange(other.length_, 0)) {}

SecretText::~SecretText() {
    if (units_) wipe_memory(units_.get(), (length_ + 1) * sizeof(char16_t));
}

}  // namespace morvane::scheduler
