// run_times.cpp: IRegisteredTask's GetRunTimes and NextRunTime, from the trigger engine.
#include "service/run_times.hpp"

#include <chrono>
#include <cstdio>

#include <winemu/com.h>

#include "library/local_clock.hpp"
#include "library/trigger_run_times.hpp"

namespace winemu {
namespace {

using namespace std::chrono;

// The times a SYSTEMTIME can name (FILETIME's first year to SYSTEMTIME's last).
constexpr Instant beginning_of_time = sys_days(year(1601) / January / 1);
// The most times one call hands out, whatever it asks for ("all" included): an open interval of a
// trigger repeated every minute would otherwise fill memory.
constexpr DWORD most_run_times = DWORD{1} << 20;

constexpr Instant end_of_time = sys_days(year(30827) / December / 31) + hours(23) + minutes(59) + seconds(59);

bool names_a_time(const SYSTEMTIME& time) {
    if (time.wYear < 1601 || time.wYear > 30827 || time.wMonth < 1 || time.wMonth > 12) return false;
    const auto month_days = year_month_day_last(year(time.wYear), month_day_last(month(time.wMonth))).day();
    return time.wDay >= 1 && day(time.wDay) <= month_days && time.wHour < 24 && time.wMinute < 60 &&
           time.wSecond < 60 && time.wMilliseconds < 1000;
}

}  // namespace

HRESULT hand_out_run_times(const TriggerRules& triggers, const SYSTEMTIME* start, const SYSTEMTIME* end, DWORD* count,
                           SYSTEMTIME** run_times) {
    if (!count || !run_times) return E_INVALIDARG;
    *run_times = nullptr;
    const DWORD most = *count == 0 || *count > most_run_times ? most_run_times : *count;
    *count = 0;
    if ((start && !names_a_time(*start)) || (end && !names_a_time(*end))) return E_INVALIDARG;
    const Instant first = start ? instant_from_local(*start) : beginning_of_time;
    const Instant last = end ? instant_from_local(*end) : end_of_time;
    if (last < first) return E_INVALIDARG;

    // One more than asked for tells whether there were more.
    TriggerRunTimes found = trigger_run_times(triggers, first, last, std::size_t{most} + 1);
    if (!found.has_time_triggers)
        return triggers.has_enabled_trigger ? SCHED_S_EVENT_TRIGGER : SCHED_S_TASK_NO_VALID_TRIGGERS;
    const bool more = found.times.size() > most;
    if (more) found.times.resize(most);
    if (found.times.empty()) return S_OK;
    auto* times = static_cast<SYSTEMTIME*>(CoTaskMemAlloc(found.times.size() * sizeof(SYSTEMTIME)));
    if (!times) return E_OUTOFMEMORY;
    local_from_instants(found.times, times);
    *run_times = times;
    *count = static_cast<DWORD>(found.times.size());
    return more ? S_FALSE : S_OK;
}

DATE next_run_time(const TriggerRules& triggers) {
    const auto next = first_run_time(triggers, floor<seconds>(system_clock::now()) + seconds(1));
    return next ? date_from_instant(*next) : 0.0;
}

std::optional<Instant> first_run_time(const TriggerRules& triggers, Instant after) {
    const TriggerRunTimes found = trigger_run_times(triggers, after, end_of_time, 1);
    if (found.times.empty()) return std::nullopt;
    return found.times.front();
}

std::string system_time_text(const SYSTEMTIME* time) {
    if (!time) return "null";
    char text[48];
    std::snprintf(text, sizeof text, "%04u-%02u-%02uT%02u:%02u:%02u", time->wYear, time->wMonth, time->wDay,
                  time->wHour, time->wMinute, time->wSecond);
    return text;
}

}  // namespace winemu
