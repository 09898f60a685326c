// local_datetime.hpp: the service's local times as aware datetimes, and aware datetimes as the
// service's local times.
#pragma once

#include <optional>
#include <utility>
#include <vector>

#include "module/py_ref.hpp"
#include "module/tasks/datetime_api.hpp"
#include "module/python_error.hpp"
#include "module/tasks/local_offset.hpp"
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

private:
    PyObject* timezone_of(int offset_seconds, long long utc_seconds);

    const PyDateTime_CAPI& api_;  // looked up once: each lookup checks the capsule's name
    LocalOffsets offsets_;
    std::vector<std::pair<int, PyRef>> timezones_;
};

// The datetime in local time (datetime.astimezone()), as the service's calendar fields.
Result<scheduler::LocalTime, PythonError> local_time_of(PyObject* aware);

}  // namespace morvane::module
