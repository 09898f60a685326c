// json_text.hpp: JSON string literals for what the control API hands out as JSON.
#pragma once

#include <string>
#include <string_view>

namespace winemu {

// Appends the UTF-8 text as a JSON string literal: quotes, backslashes and control characters escaped.
inline void append_json_string(std::string& out, std::string_view text) {
    static constexpr char hex[] = "0123456789abcdef";
    out += '"';
    for (const char c : text) {
        const auto unit = static_cast<unsigned char>(c);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (unit < 0x20) {
            out += "\\u00";
            out += hex[unit >> 4];
            out += hex[unit & 0xF];
        } else {
            out += c;
        }
    }
    out += '"';
}

}  // namespace winemu
