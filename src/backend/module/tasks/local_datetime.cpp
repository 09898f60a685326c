// local_datetime.cpp: LocalDatetimeMaker and local_time_of.
#include "module/tasks/local_datetime.hpp"

#include <string>

#include "module/tasks/datetime_api.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {

LocalDatetimeMaker::LocalDatetimeMaker() : api_(datetime_api()) {}

PyObject* LocalDatetimeMaker::timezone_of(int offset_seconds, long long utc_seconds) {
    for (const auto& [offset, timezone] : timezones_)
        if (offset == offset_seconds) return timezone.get();

    const PyDateTime_CAPI& api = api_;
    std::string abbreviation;
    utc_offset_at(utc_seconds, &abbreviation);
    PyRef delta = PyRef::steal(api.Delta_FromDelta(0, offset_seconds, 0, 1, api.DeltaType));
    if (!delta) throw InternalFailure("could not make a UTC offset: " + fetch_error().describe());
    PyRef name;
    if (!abbreviation.empty()) {
        const auto size = static_cast<Py_ssize_t>(abbreviation.size());
        name = PyRef::steal(PyUnicode_DecodeLocaleAndSize(abbreviation.data(), size, "surrogateescape"));
        if (!name) throw InternalFailure("could not make a time zone's name: " + fetch_error().describe());
    }
    PyRef timezone = PyRef::steal(api.TimeZone_FromTimeZone(delta.get(), name.get()));
    if (!timezone) throw InternalFailure("could not make a time zone: " + fetch_error().describe());
    timezones_.emplace_back(offset_seconds, std::move(timezone));
    return timezones_.back().second.get();
}

PyRef LocalDatetimeMaker::make(const scheduler::LocalTime& time) {
    const LocalInstant instant = offsets_.instant_of(time);
    PyObject* timezone = timezone_of(instant.offset_seconds, instant.utc_seconds);
    const PyDateTime_CAPI& api = api_;
    const scheduler::LocalTime& wall = instant.wall;
    PyRef made = PyRef::steal(api.DateTime_FromDateAndTime(wall.year, wall.month, wall.day, wall.hour, wall.minute,
                                                           wall.second, wall.millisecond * 1000, timezone,
                                                           api.DateTimeType));
    if (!made) throw InternalFailure("could not make a datetime: " + fetch_error().describe());
    return made;
}

PyRef LocalDatetimeMaker::make(const std::optional<scheduler::LocalTime>& time) {
    if (!time) return PyRef::borrow(Py_None);
    return make(*time);
}

Result<scheduler::LocalTime, PythonError> local_time_of(PyObject* aware) {
    PyRef local = PyRef::steal(PyObject_CallMethod(aware, "astimezone", nullptr));
    if (!local) return Err{fetch_error()};
    if (!PyObject_TypeCheck(local.get(), datetime_api().DateTimeType))
        return Err{PythonError::with_message(PyExc_TypeError, "astimezone() returned a non-datetime")};
    PyObject* fields = local.get();
    return scheduler::LocalTime{
        PyDateTime_GET_YEAR(fields),        PyDateTime_GET_MONTH(fields),       PyDateTime_GET_DAY(fields),
        PyDateTime_DATE_GET_HOUR(fields),   PyDateTime_DATE_GET_MINUTE(fields), PyDateTime_DATE_GET_SECOND(fields),
        PyDateTime_DATE_GET_MICROSECOND(fields) / 1000,
    };
}

}  // namespace morvane::module
