// sid_text.hpp: SIDs as SDDL writes them: "S-1-..." texts and the two-letter aliases of the
// well-known ones.
#pragma once

#include <string>
#include <string_view>

#include "com/hresult_or.hpp"

namespace winemu {

// Refusals of SDDL texts, as ConvertStringSecurityDescriptorToSecurityDescriptor gives them.
inline constexpr DWORD error_none_mapped = 1332;
inline constexpr DWORD error_invalid_acl = 1336;
inline constexpr DWORD error_invalid_sid = 1337;

// A SID has at most this many sub-authorities (SID_MAX_SUB_AUTHORITIES).
inline constexpr std::size_t max_sub_authorities = 15;

// The canonical "S-1-..." text of a SID given as text or as an alias (LA and LG under the
// computer's domain), or HRESULT_FROM_WIN32(ERROR_INVALID_SID); the aliases of a domain's groups
// answer ERROR_NONE_MAPPED, as on a computer outside a domain.
HResultOr<std::string> read_sid(std::u16string_view text);

// How SDDL writes a SID given as its canonical text: its alias if it has one, else the text.
std::string sid_sddl_text(std::string_view sid);

// The byte size of a SID (8 bytes and 4 per sub-authority), from its canonical text.
std::size_t sid_size(std::string_view sid);

}  // namespace winemu
