// sid_text.cpp: SID texts and aliases, read and written.
#include "security/sid_text.hpp"

#include <array>
#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "security/security_descriptor.hpp"

namespace winemu {
namespace {

struct SidAlias {
    char alias[3];
    const char* sid;  // nullptr: the computer's local account with this relative ID
    std::uint32_t local_rid;
};

// The aliases "SID Strings" documents that a computer outside a domain can map.
constexpr std::array<SidAlias, 47> sid_aliases{{
    {"AA", "S-1-5-32-579", 0}, {"AC", "S-1-15-2-1", 0},   {"AN", "S-1-5-7", 0},
    {"AO", "S-1-5-32-548", 0}, {"AU", "S-1-5-11", 0},     {"BA", "S-1-5-32-544", 0},
    {"BG", "S-1-5-32-546", 0}, {"BO", "S-1-5-32-551", 0}, {"BU", "S-1-5-32-545", 0},
    {"CD", "S-1-5-32-574", 0}, {"CG", "S-1-3-1", 0},      {"CO", "S-1-3-0", 0},
    {"CY", "S-1-5-32-569", 0}, {"ED", "S-1-5-9", 0},      {"ER", "S-1-5-32-573", 0},
    {"HA", "S-1-5-32-578", 0}, {"HI", "S-1-16-12288", 0}, {"IS", "S-1-5-32-568", 0},
    {"IU", "S-1-5-4", 0},      {"LA", nullptr, 500},      {"LG", nullptr, 501},
    {"LS", "S-1-5-19", 0},     {"LU", "S-1-5-32-559", 0}, {"LW", "S-1-16-4096", 0},
    {"ME", "S-1-16-8192", 0},  {"MP", "S-1-16-8448", 0},  {"MU", "S-1-5-32-558", 0},
    {"NO", "S-1-5-32-556", 0}, {"NS", "S-1-5-20", 0},     {"NU", "S-1-5-2", 0},
    {"OW", "S-1-3-4", 0},      {"PO", "S-1-5-32-550", 0}, {"PS", "S-1-5-10", 0},
    {"PU", "S-1-5-32-547", 0}, {"RC", "S-1-5-12", 0},     {"RD", "S-1-5-32-555", 0},
    {"RE", "S-1-5-32-552", 0}, {"RM", "S-1-5-32-580", 0}, {"RU", "S-1-5-32-554", 0},
    {"SI", "S-1-16-16384", 0}, {"SO", "S-1-5-32-549", 0}, {"SS", "S-1-18-2", 0},
    {"SU", "S-1-5-6", 0},      {"SY", "S-1-5-18", 0},     {"WD", "S-1-1-0", 0},
    {"WR", "S-1-5-33", 0},     {"AS", "S-1-18-1", 0},
}};

// Aliases of a domain's groups and accounts: no SID without a domain.
constexpr std::array<const char*, 15> domain_aliases{"AP", "CA", "CN", "DA", "DC", "DD", "DG", "DU",
                                                      "EA", "EK", "KA", "PA", "RO", "RS", "SA"};

std::string alias_sid(const SidAlias& alias) {
    if (alias.sid != nullptr) return alias.sid;
    return std::string(computer_domain_sid) + "-" + std::to_string(alias.local_rid);
}

HResultOr<std::string> invalid_sid() { return HResultOr<std::string>::failure(HRESULT_FROM_WIN32(error_invalid_sid)); }

bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }

int hex_value(char16_t c) {
    if (c >= u'0' && c <= u'9') return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// A decimal number no greater than `limit`, the whole of `digits`.
std::optional<std::uint64_t> decimal(std::u16string_view digits, std::uint64_t limit) {
    if (digits.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (char16_t c : digits) {
        if (!is_digit(c)) return std::nullopt;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > limit) return std::nullopt;
    }
    return value;
}

// The identifier authority: decimal up to 32 bits, or "0x" and hex digits up to 48 bits.
std::optional<std::uint64_t> authority(std::u16string_view text) {
    if (text.size() > 2 && text[0] == u'0' && (text[1] == u'x' || text[1] == u'X')) {
        std::uint64_t value = 0;
        for (char16_t c : text.substr(2)) {
            const int digit = hex_value(c);
            if (digit < 0) return std::nullopt;
            value = value * 16 + static_cast<std::uint64_t>(digit);
            if (value > 0xFFFFFFFFFFFFull) return std::nullopt;
        }
        return value;
    }
    return decimal(text, 0xFFFFFFFFull);
}

HResultOr<std::string> read_sid_text(std::u16string_view text) {
    // S-1-<authority>-<sub-authority>..., at least one sub-authority.
    if (text.size() < 2 || text.substr(0, 2) != u"S-") return invalid_sid();
    std::vector<std::u16string_view> fields;
    std::size_t start = 2;
    while (true) {
        const std::size_t dash = text.find(u'-', start);
        fields.push_back(text.substr(start, dash == std::u16string_view::npos ? dash : dash - start));
        if (dash == std::u16string_view::npos) break;
        start = dash + 1;
        if (fields.size() > max_sub_authorities + 2) return invalid_sid();
    }
    if (fields.size() < 3 || fields.size() > max_sub_authorities + 2) return invalid_sid();
    const auto revision = decimal(fields[0], 0xFF);
    const auto identifier_authority = authority(fields[1]);
    if (revision != 1u || !identifier_authority) return invalid_sid();
    std::string sid = "S-1-";
    if (*identifier_authority > 0xFFFFFFFFull) {
        char hex[20];
        std::snprintf(hex, sizeof hex, "0x%012llX", static_cast<unsigned long long>(*identifier_authority));
        sid += hex;
    } else {
        sid += std::to_string(*identifier_authority);
    }
    for (std::size_t i = 2; i < fields.size(); ++i) {
        const auto sub_authority = decimal(fields[i], 0xFFFFFFFFull);
        if (!sub_authority) return invalid_sid();
        sid += "-" + std::to_string(*sub_authority);
    }
    return sid;
}

}  // namespace

HResultOr<std::string> read_sid(std::u16string_view text) {
    if (text.size() == 2) {
        const char alias[3] = {static_cast<char>(text[0] < 0x80 ? text[0] : 0),
                               static_cast<char>(text[1] < 0x80 ? text[1] : 0), '\0'};
        for (const SidAlias& known : sid_aliases) {
            if (std::string_view(known.alias) == alias) return alias_sid(known);
        }
        for (const char* domain_alias : domain_aliases) {
            if (std::string_view(domain_alias) == alias)
                return HResultOr<std::string>::failure(HRESULT_FROM_WIN32(error_none_mapped));
        }
        return invalid_sid();
    }
    return read_sid_text(text);
}

std::string sid_sddl_text(std::string_view sid) {
    for (const SidAlias& known : sid_aliases) {
        if (alias_sid(known) == sid) return known.alias;
    }
    return std::string(sid);
}

std::size_t sid_size(std::string_view sid) {
    // "S-1-<authority>" then one dash per sub-authority.
    const auto dashes = static_cast<std::size_t>(std::count(sid.begin(), sid.end(), '-'));
    return 8 + 4 * (dashes >= 2 ? dashes - 2 : 0);
}

}  // namespace winemu
