// schema_values.hpp: the simple types of the task schema, and whether a text is a value of one.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace winemu {

// Each simple type that an element of the task schema holds (its XSD type, with the restriction
// the schema puts on it).
enum class ValueType : std::uint8_t {
    text,                  // xs:string
    non_empty,             // nonEmptyString
    path,                  // pathType: nonEmptyString of at most 260 characters
    boolean,               // xs:boolean: true, false, 1 or 0
    date_time,             // xs:dateTime
    duration,              // xs:duration
    duration_from_1m,      // xs:duration, at least PT1M
    duration_1m_to_31d,    // xs:duration from PT1M to P31D
    priority,              // priorityType: 0 to 10
    restart_count,         // xs:unsignedByte, at least 1
    days_interval,         // xs:unsignedInt, 1 to 365
    weeks_interval,        // xs:unsignedByte, 1 to 52
    occurrences,           // xs:unsignedByte, 1 to 32
    day_of_month,          // dayOfMonthType: 1 to 31 or Last
    week,                  // weekType: 1 to 4 or Last
    nothing,               // fixed="": the element says what it says by being there (Monday, January)
    guid,                  // guidType: {xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}
    instances_policy,      // multipleInstancesPolicyType
    logon_type,            // logonType
    run_level,             // runLevelType
    process_token_sid,     // processTokenSidType
    privilege,             // privilegeType
    state_change,          // sessionStateChangeType
};

// Whether `value` (the element's text as written) is a value of `type`.
bool is_value_of(ValueType type, std::string_view value);

// An xs:boolean that passed the checks, read: true for "true" and "1" (blanks around ignored).
bool boolean_value(std::string_view value);

// An xs:duration that passed the checks, in whole seconds (a year as 365 days, a month as 30,
// fractions of a second dropped), at most 2^62; nullopt for a text that is no xs:duration.
std::optional<std::uint64_t> duration_value(std::string_view value);

}  // namespace winemu
