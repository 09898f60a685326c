// local_datetime.hpp: the service's local times as aware datetimes, and aware datetimes as the
// service's local times.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "module/datetime_api.hpp"
#include "module/py_ref.hpp"
#include "module/python_error.hpp"
#include "runtime/result.hpp"
#include "scheduler/local_time.hpp"

namespace morvane::module {

// Makes aware datetimes of local times, each with the fixed offset (and the zone's abbreviation,
// where the C library tells it) in force at its instant, as datetime.astimezone() shows local
// time. One maker serves one call: it keeps the timezone object of each offset it met, so a long
// run of times costs one timezone per offset. Use it with the interpreter lock held.
class LocalDatetimeMaker {
public:
    LocalDatetimeMaker();

    // A new aware datetime. Failing to make one (memory exhausted) is an InternalFailure.
    PyRef make(const scheduler::LocalTime& time);
    // None for nothing.
    PyRef make(const std::optional<scheduler::LocalTime>& time);
    // The instant given in microseconds since 1970-01-01 00:00 UTC, as local time shows it.
    PyRef make_at(long long utc_microseconds);

private:
    PyObject* timezone_of(int offset_seconds, long long utc_seconds);
    PyRef make(const scheduler::LocalTime& wall, int offset_seconds, long long utc_seconds);

    const PyDateTime_CAPI& api_;  // looked up once: each lookup checks the capsule's name
    scheduler::LocalOffsets offsets_;
    std::vector<std::pair<int, PyRef>> timezones_;
};

// The instant of an aware datetime, in microseconds since 1970-01-01 00:00 UTC: its fields less
// its utcoffset(), exact to the microsecond.
Result<long long, PythonError> utc_microseconds_of(PyObject* aware);

}  // namespace morvane::module
