// library_growth.cpp: what a lookup costs as the emulated task library grows, and what several
// threads gain over one while the service has latency. Prints ratios measured side by side.
//
//   bench_library_growth [TASKS]      (default 5000 tasks in the large library)
//
// A lookup of a missing task should cost the same in a library of 5 tasks and of thousands
// (no directory scan): the ratio large/small stays near 1. With a latency on each service call,
// four threads should finish about four times the lookups of one thread in the same time.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#include <unistd.h>

#include <winemu/control.h>

#include "scheduler/task_operations.hpp"

namespace {

using Clock = std::chrono::steady_clock;
namespace scheduler = morvane::scheduler;

constexpr std::string_view kTaskXml =
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
    "<Actions><Exec><Command>/bin/true</Command></Exec></Actions></Task>";

std::filesystem::path make_library(const std::string& label, int tasks) {
    const auto path = std::filesystem::temp_directory_path() /
                      ("morvane-bench-" + label + "-" + std::to_string(::getpid()));
    std::filesystem::remove_all(path);
    winemu_set_task_library(path.c_str());
    for (int index = 0; index < tasks; ++index) {
        const std::string name = "Task " + std::to_string(index);
        if (!scheduler::register_xml(name, kTaskXml)) {
            std::fprintf(stderr, "registering %s failed\n", name.c_str());
            std::filesystem::remove_all(path);
            std::exit(1);
        }
    }
    return path;
}

// Median seconds per call of `body` over several rounds, so that a noisy moment weighs little.
template <class Body>
double seconds_per_call(int calls, Body body) {
    std::vector<double> rounds;
    for (int round = 0; round < 7; ++round) {
        const auto start = Clock::now();
        for (int call = 0; call < calls; ++call) body();
        rounds.push_back(std::chrono::duration<double>(Clock::now() - start).count() / calls);
    }
    std::nth_element(rounds.begin(), rounds.begin() + 3, rounds.end());
    return rounds[3];
}

double missing_lookup_cost(const std::filesystem::path& library) {
    winemu_set_task_library(library.c_str());
    return seconds_per_call(400, [] { (void)scheduler::task_exists("No such task"); });
}

double present_lookup_cost(const std::filesystem::path& library) {
    winemu_set_task_library(library.c_str());
    return seconds_per_call(400, [] { (void)scheduler::task_exists("Task 3"); });
}

// Lookups finished by `threads` threads in a fixed time, with `latency` seconds per service call.
long lookups_in(double seconds, int threads) {
    std::vector<long> counts(threads, 0);
    std::vector<std::thread> workers;
    const auto end = Clock::now() + std::chrono::duration<double>(seconds);
    for (int index = 0; index < threads; ++index) {
        workers.emplace_back([&counts, index, end] {
            while (Clock::now() < end) {
                (void)scheduler::task_exists("Task 3");
                ++counts[index];
            }
        });
    }
    for (auto& worker : workers) worker.join();
    long total = 0;
    for (long count : counts) total += count;
    return total;
}

}  // namespace

int main(int argc, char** argv) {
    const int large = argc > 1 ? std::max(10, std::atoi(argv[1])) : 5000;
    const auto small_library = make_library("small", 5);
    const auto large_library = make_library("large", large);

    const double small_missing = missing_lookup_cost(small_library);
    const double large_missing = missing_lookup_cost(large_library);
    const double small_present = present_lookup_cost(small_library);
    const double large_present = present_lookup_cost(large_library);
    std::printf("task_exists, missing task: %d tasks / 5 tasks = %.2f  (%.1f us vs %.1f us)\n", large,
                large_missing / small_missing, large_missing * 1e6, small_missing * 1e6);
    std::printf("task_exists, present task: %d tasks / 5 tasks = %.2f  (%.1f us vs %.1f us)\n", large,
                large_present / small_present, large_present * 1e6, small_present * 1e6);

    winemu_set_task_library(small_library.c_str());
    winemu_set_latency(0.002);
    const long one = lookups_in(1.0, 1);
    const long four = lookups_in(1.0, 4);
    winemu_set_latency(0);
    std::printf("task_exists with 2 ms latency per service call: 4 threads / 1 thread = %.2f  (%ld vs %ld)\n",
                static_cast<double>(four) / static_cast<double>(one), four, one);

    std::filesystem::remove_all(small_library);
    std::filesystem::remove_all(large_library);
    return 0;
}
