// task_run_times.cpp: run_times, over GetRunTimes and its array of SYSTEMTIMEs.
#include "scheduler/task_run_times.hpp"

#include <limits>

#include "scheduler/call_failure.hpp"
#include "scheduler/registered_task_reading.hpp"
#include "scheduler/task_memory.hpp"

namespace morvane::scheduler {
namespace {

SYSTEMTIME system_time_from(const LocalTime& time) noexcept {
    SYSTEMTIME fields{};
    fields.wYear = static_cast<WORD>(time.year);
    fields.wMonth = static_cast<WORD>(time.month);
    fields.wDayOfWeek = static_cast<WORD>(day_of_week(time.year, time.month, time.day));
    fields.wDay = static_cast<WORD>(time.day);
    fields.wHour = static_cast<WORD>(time.hour);
    fields.wMinute = static_cast<WORD>(time.minute);
    fields.wSecond = static_cast<WORD>(time.second);
    fields.wMilliseconds = static_cast<WORD>(time.millisecond);
    return fields;
}

LocalTime local_time_from(const SYSTEMTIME& fields) noexcept {
    return LocalTime{fields.wYear, fields.wMonth, fields.wDay, fields.wHour, fields.wMinute, fields.wSecond,
                     fields.wMilliseconds};
}

}  // namespace

Result<std::vector<LocalTime>, SchedulerError> run_times(std::string_view task_name, const LocalTime& start,
                                                        const LocalTime& end,
                                                        std::optional<std::uint32_t> max_count) {
    return with_own_connection(
        [&](SchedulerConnection& connection) { return run_times(connection, task_name, start, end, max_count); });
}

Result<std::vector<LocalTime>, SchedulerError> run_times(SchedulerConnection& connection, std::string_view task_name,
                                                        const LocalTime& start, const LocalTime& end,
                                                        std::optional<std::uint32_t> max_count) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    if (!task) return Err{std::move(task).error()};

    SYSTEMTIME first = system_time_from(start);
    SYSTEMTIME last = system_time_from(end);
    // The count asked for; "all" asks for the most that the count can hold.
    DWORD count = max_count.value_or(std::numeric_limits<DWORD>::max());
    UniqueTaskMemory<SYSTEMTIME> times;
    const HRESULT outcome = task.value()->GetRunTimes(&first, &last, &count, times.put());
    if (FAILED(outcome)) return Err{failed_call(outcome, "GetRunTimes")};
    if (count > 0 && times.get() == nullptr) return Err{call_without_object("GetRunTimes")};

    std::vector<LocalTime> found;
    found.reserve(count);
    for (DWORD index = 0; index < count; ++index) found.push_back(local_time_from(times.get()[index]));
    return found;
}

}  // namespace morvane::scheduler
