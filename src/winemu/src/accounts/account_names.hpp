// account_names.hpp: account names as Windows takes them: which names a computer accepts, how
// they compare, and the forms a name is given in ("name", "COMPUTER\name", ".\name", a SID).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace winemu {

// The longest names Windows allows: a user's SAM account name, a local group's name.
inline constexpr std::size_t longest_user_name = 20;
inline constexpr std::size_t longest_group_name = 256;

// Whether `name` (UTF-8) may name a new account: 1 to `longest` characters, none of
// " / \ [ ] : ; | = , + * ? < > @ nor a control character, not only dots and spaces.
bool valid_account_name(std::string_view name, std::size_t longest);

// Names compare without regard to case, as Windows compares them (per UTF-16 unit).
bool same_account_name(std::string_view a, std::string_view b);

// A name as given: the domain before the last '\' (none without one) and the name after it.
struct QualifiedName {
    std::optional<std::string> domain;
    std::string name;
};
QualifiedName split_account_name(std::string_view text);

// Whether `text` is a SID in text form ("S-1-" and numbers).
bool is_sid_text(std::string_view text);

}  // namespace winemu
