// schema_values.cpp: whether a text is a value of one of the task schema's simple types.
#include "library/schema_values.hpp"

#include <algorithm>
#include <cstdint>
#include <optional>

namespace winemu {
namespace {

/* === What is read leniently, and why ===
 * Blanks around a value are ignored: Windows writes none, but a definition written by hand and
 * indented puts line breaks around values, the booleans have always been read so, and the schema
 * collapses them for every type but xs:string. Within the value, each type is read as the schema
 * defines it, except where the documentation of the element narrows it (the date and time) or is
 * silent (negative spans of time, 24:00:00): there the reading a task could use is kept. */

std::string_view trimmed(std::string_view text) {
    const std::size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

bool is_digit(char c) { return c >= '0' && c <= '9'; }

bool is_hex(char c) { return is_digit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// Reads the digits at text[at...] into a value that stops growing at `cap` (no overflow however
// many digits); nullopt when there is no digit.
std::optional<std::uint64_t> read_number(std::string_view text, std::size_t& at, std::uint64_t cap) {
    const std::size_t start = at;
    std::uint64_t value = 0;
    while (at < text.size() && is_digit(text[at])) {
        value = std::min<std::uint64_t>(cap, value * 10 + static_cast<std::uint64_t>(text[at] - '0'));
        ++at;
    }
    if (at == start) return std::nullopt;
    return value;
}

// An unsigned integer (an optional '+', then digits) from `low` to `high`.
bool is_integer_in(std::string_view value, std::uint64_t low, std::uint64_t high) {
    std::size_t at = 0;
    if (!value.empty() && value.front() == '+') at = 1;
    const auto number = read_number(value, at, high + 1);
    return number && at == value.size() && *number >= low && *number <= high;
}

// Exactly `count` digits at text[at...], read as a number.
std::optional<int> fixed_digits(std::string_view text, std::size_t& at, std::size_t count) {
    if (text.size() < at + count) return std::nullopt;
    int value = 0;
    for (std::size_t i = 0; i < count; ++i) {
        if (!is_digit(text[at + i])) return std::nullopt;
        value = value * 10 + (text[at + i] - '0');
    }
    at += count;
    return value;
}

bool take(std::string_view text, std::size_t& at, char expected) {
    if (at >= text.size() || text[at] != expected) return false;
    ++at;
    return true;
}

int days_in_month(int year, int month) {
    static constexpr int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// xs:dateTime, as the element pages document it: YYYY-MM-DDTHH:MM:SS, then optional fractions of a
// second and an optional zone (Z or +HH:MM/-HH:MM). The documentation shows four-digit years only;
// the wider years and the 24:00:00 of XML Schema are refused.
bool is_date_time(std::string_view text) {
    std::size_t at = 0;
    const auto year = fixed_digits(text, at, 4);
    if (!year || !take(text, at, '-')) return false;
    const auto month = fixed_digits(text, at, 2);
    if (!month || *month < 1 || *month > 12 || !take(text, at, '-')) return false;
    const auto day = fixed_digits(text, at, 2);
    if (!day || *day < 1 || *day > days_in_month(*year, *month) || !take(text, at, 'T')) return false;
    const auto hour = fixed_digits(text, at, 2);
    if (!hour || *hour > 23 || !take(text, at, ':')) return false;
    const auto minute = fixed_digits(text, at, 2);
    if (!minute || *minute > 59 || !take(text, at, ':')) return false;
    const auto second = fixed_digits(text, at, 2);
    if (!second || *second > 59) return false;
    if (take(text, at, '.')) {
        std::size_t fraction = at;
        if (!read_number(text, fraction, 1)) return false;
        at = fraction;
    }
    if (at == text.size() || take(text, at, 'Z')) return at == text.size();
    if (text[at] != '+' && text[at] != '-') return false;
    ++at;
    const auto zone_hours = fixed_digits(text, at, 2);
    if (!zone_hours || !take(text, at, ':')) return false;
    const auto zone_minutes = fixed_digits(text, at, 2);
    if (!zone_minutes || *zone_minutes > 59 || *zone_hours * 60 + *zone_minutes > 14 * 60) return false;
    return at == text.size();
}

// xs:duration, PnYnMnDTnHnMnS, read into seconds for the bounds some elements carry. XML Schema
// orders durations with months only partially; a year is counted as 365 days and a month as 30,
// which decides every bound here (PT1M, P31D) as a reader of the duration would. A negative
// duration is an xs:duration, but no span of the task schema (a delay, a limit, an interval) can
// be negative, and the documentation gives none: it is refused rather than read as zero.
constexpr std::uint64_t longest = std::uint64_t{1} << 62;

std::optional<std::uint64_t> duration_seconds(std::string_view text) {
    std::size_t at = 0;
    if (!take(text, at, 'P')) return std::nullopt;
    struct Unit {
        char letter;
        std::uint64_t seconds;
        bool in_time;
    };
    static constexpr Unit units[] = {{'Y', 365 * 86400, false}, {'M', 30 * 86400, false}, {'D', 86400, false},
                                     {'H', 3600, true},         {'M', 60, true},           {'S', 1, true}};
    std::uint64_t total = 0;
    bool any_part = false;
    bool in_time = false;
    bool time_part = false;
    std::size_t next_unit = 0;
    while (at < text.size()) {
        if (text[at] == 'T') {
            if (in_time) return std::nullopt;
            in_time = true;
            ++at;
            while (next_unit < std::size(units) && !units[next_unit].in_time) ++next_unit;
            continue;
        }
        const auto number = read_number(text, at, longest);
        if (!number) return std::nullopt;
        if (at < text.size() && text[at] == '.') {  // fractions are for seconds only
            std::size_t fraction = at + 1;
            if (!read_number(text, fraction, 1) || fraction >= text.size() || text[fraction] != 'S' || !in_time)
                return std::nullopt;
            at = fraction;
        }
        if (at >= text.size()) return std::nullopt;
        while (next_unit < std::size(units) &&
               (units[next_unit].letter != text[at] || units[next_unit].in_time != in_time))
            ++next_unit;
        if (next_unit == std::size(units)) return std::nullopt;  // unknown, repeated or out of order
        const std::uint64_t unit = units[next_unit].seconds;
        total = std::min(longest, total + (*number > longest / unit ? longest : *number * unit));
        ++next_unit;
        ++at;
        any_part = true;
        time_part = time_part || in_time;
    }
    if (!any_part || (in_time && !time_part)) return std::nullopt;
    return total;
}

bool is_duration_within(std::string_view text, std::uint64_t low, std::uint64_t high) {
    const auto seconds = duration_seconds(text);
    return seconds && *seconds >= low && *seconds <= high;
}

bool is_guid(std::string_view text) {
    static constexpr std::string_view shape = "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}";
    if (text.size() != shape.size()) return false;
    for (std::size_t i = 0; i < shape.size(); ++i) {
        if (shape[i] == 'x' ? !is_hex(text[i]) : text[i] != shape[i]) return false;
    }
    return true;
}

template <std::size_t N>
bool is_one_of(std::string_view value, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), value) != std::end(names);
}

constexpr std::string_view instances_policies[] = {"Parallel", "Queue", "IgnoreNew", "StopExisting"};
// "InteractiveTokenOrPassword" is kept by the schema for earlier definitions. The API's other
// logon types (group, service account) are written without a LogonType element.
constexpr std::string_view logon_types[] = {"S4U", "Password", "InteractiveToken", "InteractiveTokenOrPassword"};
constexpr std::string_view run_levels[] = {"LeastPrivilege", "HighestAvailable"};
constexpr std::string_view process_token_sids[] = {"None", "Unrestricted"};
constexpr std::string_view state_changes[] = {"ConsoleConnect", "ConsoleDisconnect", "RemoteConnect",
                                              "RemoteDisconnect", "SessionLock", "SessionUnlock"};
constexpr std::string_view privileges[] = {
    "SeCreateTokenPrivilege",        "SeAssignPrimaryTokenPrivilege",   "SeLockMemoryPrivilege",
    "SeIncreaseQuotaPrivilege",      "SeUnsolicitedInputPrivilege",     "SeMachineAccountPrivilege",
    "SeTcbPrivilege",                "SeSecurityPrivilege",             "SeTakeOwnershipPrivilege",
    "SeLoadDriverPrivilege",         "SeSystemProfilePrivilege",        "SeSystemtimePrivilege",
    "SeProfileSingleProcessPrivilege", "SeIncreaseBasePriorityPrivilege", "SeCreatePagefilePrivilege",
    "SeCreatePermanentPrivilege",    "SeBackupPrivilege",               "SeRestorePrivilege",
    "SeShutdownPrivilege",           "SeDebugPrivilege",                "SeAuditPrivilege",
    "SeSystemEnvironmentPrivilege",  "SeChangeNotifyPrivilege",         "SeRemoteShutdownPrivilege",
    "SeUndockPrivilege",             "SeSyncAgentPrivilege",            "SeEnableDelegationPrivilege",
    "SeManageVolumePrivilege",       "SeImpersonatePrivilege",          "SeCreateGlobalPrivilege",
    "SeTrustedCredManAccessPrivilege", "SeRelabelPrivilege",            "SeIncreaseWorkingSetPrivilege",
    "SeTimeZonePrivilege",           "SeCreateSymbolicLinkPrivilege"};

// Characters, not bytes: pathType's 260 counts characters of the text.
std::size_t characters(std::string_view utf8) {
    return static_cast<std::size_t>(
        std::count_if(utf8.begin(), utf8.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

}  // namespace

bool is_value_of(ValueType type, std::string_view value) {
    const std::string_view word = trimmed(value);
    switch (type) {
    case ValueType::text: return true;
    case ValueType::non_empty: return !word.empty();
    case ValueType::path: return !word.empty() && characters(value) <= 260;
    case ValueType::boolean: return word == "true" || word == "false" || word == "1" || word == "0";
    case ValueType::date_time: return is_date_time(word);
    case ValueType::duration: return duration_seconds(word).has_value();
    case ValueType::duration_from_1m: return is_duration_within(word, 60, longest);
    case ValueType::duration_1m_to_31d: return is_duration_within(word, 60, 31 * 86400);
    case ValueType::priority: return is_integer_in(word, 0, 10);
    case ValueType::restart_count: return is_integer_in(word, 1, 255);
    case ValueType::days_interval: return is_integer_in(word, 1, 365);
    case ValueType::weeks_interval: return is_integer_in(word, 1, 52);
    case ValueType::occurrences: return is_integer_in(word, 1, 32);
    case ValueType::day_of_month:
        return word == "Last" || (!word.empty() && word.front() != '0' && word.front() != '+' && is_integer_in(word, 1, 31));
    case ValueType::week: return word == "Last" || (word.size() == 1 && word[0] >= '1' && word[0] <= '4');
    case ValueType::nothing: return word.empty();
    case ValueType::guid: return is_guid(word);
    case ValueType::instances_policy: return is_one_of(word, instances_policies);
    case ValueType::logon_type: return is_one_of(word, logon_types);
    case ValueType::run_level: return is_one_of(word, run_levels);
    case ValueType::process_token_sid: return is_one_of(word, process_token_sids);
    case ValueType::privilege: return is_one_of(word, privileges);
    case ValueType::state_change: return is_one_of(word, state_changes);
    }
    return false;
}

bool boolean_value(std::string_view value) {
    const std::string_view word = trimmed(value);
    return word == "true" || word == "1";
}

std::optional<std::uint64_t> duration_value(std::string_view value) { return duration_seconds(trimmed(value)); }

}  // namespace winemu
