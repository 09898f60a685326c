// local_datetime.cpp: LocalDatetimeMaker and utc_microseconds_of.
#include "module/local_datetime.hpp"

#include <string>

#include "module/datetime_api.hpp"
#include "runtime/internal_failure.hpp"

namespace morvane::module {

LocalDatetimeMaker::LocalDatetimeMaker() : api_(datetime_api()) {}

PyObject* LocalDatetimeMaker::timezone_of(int offset_seconds, long long utc_seconds) {
    for (const auto& [offset, timezone] : timezones_)
        if (offset == offset_seconds) return timezone.get();

    const PyDateTime_CAPI& api = api_;
    std::string abbreviation;
    scheduler::utc_offset_at(utc_seconds, &abbreviation);
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

PyRef LocalDatetimeMaker::make(const scheduler::LocalTime& wall, int offset_seconds, long long utc_seconds) {
    PyObject* timezone = timezone_of(offset_seconds, utc_seconds);
    const PyDateTime_CAPI& api = api_;
    PyRef made = PyRef::steal(api.DateTime_FromDateAndTime(wall.year, wall.month, wall.day, wall.hour, wall.minute,
                                                           wall.second, wall.millisecond * 1000, timezone,
                                                           api.DateTimeType));
    if (!made) throw InternalFailure("could not make a datetime: " + fetch_error().describe());
    return made;
}

PyRef LocalDatetimeMaker::make(const scheduler::LocalTime& time) {
    const scheduler::LocalInstant instant = offsets_.instant_of(time);
    return make(instant.wall, instant.offset_seconds, instant.utc_seconds);
}

PyRef LocalDatetimeMaker::make(const std::optional<scheduler::LocalTime>& time) {
    if (!time) return PyRef::borrow(Py_None);
    return make(*time);
}

PyRef LocalDatetimeMaker::make_at(long long utc_microseconds) {
    long long utc_seconds = utc_microseconds / scheduler::microseconds_per_second;
    long long fraction = utc_microseconds % scheduler::microseconds_per_second;
    if (fraction < 0) {
        fraction += scheduler::microseconds_per_second;
        utc_seconds -= 1;
    }
    const int offset = offsets_.at(utc_seconds);
    scheduler::LocalTime wall = scheduler::local_time_from_seconds(utc_seconds + offset);
    wall.millisecond = static_cast<int>(fraction / 1000);
    return make(wall, offset, utc_seconds);
}

Result<long long, PythonError> utc_microseconds_of(PyObject* aware) {
    PyRef offset = PyRef::steal(PyObject_CallMethod(aware, "utcoffset", nullptr));
    if (!offset) return Err{fetch_error()};
    if (!PyObject_TypeCheck(offset.get(), datetime_api().DeltaType))
        return Err{PythonError::with_message(PyExc_TypeError, "utcoffset() returned a non-timedelta")};
    const long long local_seconds = scheduler::seconds_from_local_time(scheduler::LocalTime{
        PyDateTime_GET_YEAR(aware), PyDateTime_GET_MONTH(aware), PyDateTime_GET_DAY(aware),
        PyDateTime_DATE_GET_HOUR(aware), PyDateTime_DATE_GET_MINUTE(aware), PyDateTime_DATE_GET_SECOND(aware), 0});
    const long long offset_microseconds =
        (PyDateTime_DELTA_GET_DAYS(offset.get()) * 86'400LL + PyDateTime_DELTA_GET_SECONDS(offset.get())) *
            scheduler::microseconds_per_second +
        PyDateTime_DELTA_GET_MICROSECONDS(offset.get());
    return local_seconds * scheduler::microseconds_per_second + PyDateTime_DATE_GET_MICROSECOND(aware) -
           offset_microseconds;
}

}  // namespace morvane::module
