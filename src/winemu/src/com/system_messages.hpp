// system_messages.hpp: the English system message table that FormatMessageW reads.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/types.h>

namespace winemu {

// The text of the code as Windows words it, trailing CR LF included; nothing for an unknown code.
std::optional<std::u16string_view> system_message(DWORD code) noexcept;

}  // namespace winemu
