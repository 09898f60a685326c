// task_run_times.cpp: run_times, over GetRunTimes and its array of local SYSTEMTIMEs.
#include "scheduler/task_run_times.hpp"

#include <limits>
#include <string>

#include "scheduler/call_failure.hpp"
#include "scheduler/local_time.hpp"
#include "scheduler/registered_task_reading.hpp"
#include "scheduler/run_time_reading.hpp"
#include "scheduler/task_memory.hpp"

namespace morvane::scheduler {
namespace {

// How far the local window asked of the service reaches beyond the period on each side: more than
// any zone has moved its clocks at once since 1945 (two hours), so that however the service reads
// a bound that the clocks repeat or skip, its window holds the period, and the first times it
// lists lie before any repeated hour of the period (RunTimeReading needs to start outside one).
constexpr long long window_margin = 3LL * 3600 * microseconds_per_second;
// A counted query asks for this many more times than it wants: the margin's times come first.
constexpr DWORD page_slack = 4096;
constexpr DWORD most_times = std::numeric_limits<DWORD>::max();
// The first year a SYSTEMTIME names: no task runs before it.
constexpr int first_year = 1601;

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

// The service's limit on one answer, met by a page that it filled with times before the first one
// still wanted: asking again would get the same page.
SchedulerError no_progress(DWORD handed_out) {
    return SchedulerError{
        .message = "GetRunTimes hands out at most " + std::to_string(handed_out) +
                   " run times a call, and more than that many lie within three hours before the next one "
                   "wanted; ask for a shorter period (max_count bounds how many are returned, not this)",
        .code = S_FALSE,
        .operation = "GetRunTimes",
    };
}

}  // namespace

Result<std::vector<long long>, SchedulerError> run_times(SchedulerConnection& connection, std::string_view task_name,
                                                        const RunTimesQuery& query) {
    Result<ComPtr<IRegisteredTask>, SchedulerError> task = get_task(connection, task_name);
    MORVANE_RETURN_IF_FAILED(task);
    VARIANT_BOOL enabled = VARIANT_FALSE;
    HRESULT outcome = task.value()->get_Enabled(&enabled);
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_Enabled")};
    std::vector<long long> found;
    if (enabled == VARIANT_FALSE) return found;

    LocalOffsets zone;
    const LocalTime upper_wall = zone.wall_of(query.last + window_margin);
    if (upper_wall.year < first_year) return found;
    SYSTEMTIME upper = system_time_from(upper_wall);
    DWORD page = most_times;
    if (query.max_count) page = *query.max_count < most_times - page_slack ? *query.max_count + page_slack : most_times;

    // Each page asks from a margin before the first instant still wanted, and keeps what it reads
    // from that instant on; the service's S_FALSE (more times than the page held) asks again.
    long long from = query.first;
    for (;;) {
        LocalTime lower_wall = zone.wall_of(from - window_margin);
        if (lower_wall.year < first_year) lower_wall = LocalTime{first_year, 1, 1, 0, 0, 0, 0};
        SYSTEMTIME lower = system_time_from(lower_wall);
        DWORD count = page;
        UniqueTaskMemory<SYSTEMTIME> times;
        outcome = task.value()->GetRunTimes(&lower, &upper, &count, times.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "GetRunTimes")};
        if (count > 0 && times.get() == nullptr) return Err{call_without_object("GetRunTimes")};

        RunTimeReading reading(zone, zone.readings_of(lower_wall).first - 1);
        for (DWORD index = 0; index < count; ++index) {
            const std::optional<long long> instant = reading.next(local_time_from(times.get()[index]));
            if (!instant || *instant < from) continue;
            if (*instant > query.last) return found;
            found.push_back(*instant);
            if (query.max_count && found.size() == *query.max_count) return found;
        }
        if (outcome != S_FALSE) return found;
        if (reading.last() >= from) {
            from = reading.last() + 1;
        } else if (page <= most_times / 2) {
            page *= 2;  // the margin held more times than a page: a larger one gets past it
        } else {
            return Err{no_progress(count)};
        }
    }
}

}  // namespace morvane::scheduler
