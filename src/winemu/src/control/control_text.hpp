// control_text.hpp: how the control API copies a text out to its caller's buffer.
#pragma once

#include <cstring>
#include <string_view>

namespace winemu {

// Copies as much of the text as fits, adds the NUL when it fits too, and returns the text's length.
inline std::size_t copy_text_out(std::string_view text, char* buffer, std::size_t capacity) noexcept {
    if (buffer && capacity > 0) {
        const std::size_t copied = text.size() < capacity ? text.size() : capacity;
        std::memcpy(buffer, text.data(), copied);
        if (copied < capacity) buffer[copied] = '\0';
    }
    return text.size();
}

}  // namespace winemu
