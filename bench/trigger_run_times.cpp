// trigger_run_times.cpp: the trigger engine's cost for a year of a daily trigger repeated hourly
// (8,760 times), against reading one task's state from the task library, measured in alternated
// rounds; in UTC and in a zone that keeps daylight-saving time.
//
//   bench_trigger_run_times
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

#include <winemu/control.h>

#include "scheduler/task_operations.hpp"

namespace {

using Clock = std::chrono::steady_clock;

const std::string definition =
    "<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Triggers><CalendarTrigger>"
    "<StartBoundary>2026-01-01T00:00:00</StartBoundary><Repetition><Interval>PT1H</Interval><Duration>P1D</Duration>"
    "</Repetition><ScheduleByDay><DaysInterval>1</DaysInterval></ScheduleByDay></CalendarTrigger></Triggers>"
    "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>";

template <typename Work>
double microseconds(Work work, int calls) {
    const auto start = Clock::now();
    for (int i = 0; i < calls; ++i) work();
    return std::chrono::duration<double, std::micro>(Clock::now() - start).count() / calls;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

}  // namespace

int main() {
    const auto library =
        std::filesystem::temp_directory_path() / ("morvane-bench-triggers-" + std::to_string(::getpid()));
    winemu_set_task_library(library.c_str());
    if (!morvane::scheduler::register_xml("Hourly", definition).ok()) {
        std::fprintf(stderr, "could not register the task\n");
        return 1;
    }
    std::vector<long long> times(10000);
    const long long year_start = 1767225600;  // 2026-01-01T00:00:00Z
    const long long year_end = year_start + 365LL * 86400 - 1;
    std::size_t count = 0;
    const auto run_times = [&] {
        count = winemu_trigger_run_times(definition.c_str(), year_start, year_end, 0, times.data(), times.size(),
                                         nullptr);
    };
    char state[4096];
    const auto task_state = [&] { winemu_task_state("Hourly", state, sizeof state); };
    double ratio = 0;
    for (const char* zone : {"UTC", "Europe/Berlin"}) {
        setenv("TZ", zone, 1);
        tzset();
        std::vector<double> engine, reading;
        for (int round = 0; round < 15; ++round) {
            engine.push_back(microseconds(run_times, 20));
            reading.push_back(microseconds(task_state, 20));
        }
        ratio = median(engine) / median(reading);
        std::printf("%-14s run times (%zu): %8.1f us   task state: %8.1f us   ratio %.2f\n", zone, count,
                    median(engine), median(reading), ratio);
    }
    std::filesystem::remove_all(library);
    std::printf("run times of a year hourly / a task's state: %.2fx\n", ratio);
    return 0;
}
