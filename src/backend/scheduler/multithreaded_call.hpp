// multithreaded_call.hpp: in_multithreaded_apartment, which runs work on a thread of the
// multithreaded apartment: the caller's own when it is in it, else a thread started for the work.
#pragma once

#include <exception>
#include <optional>
#include <system_error>
#include <thread>
#include <type_traits>
#include <utility>

#include "runtime/internal_failure.hpp"
#include "scheduler/multithreaded_apartment_usage.hpp"

namespace morvane::scheduler {

// Runs work() and returns what it returns. The objects of the multithreaded apartment may only be
// called from its threads; a caller elsewhere (in a single-threaded apartment) waits for a thread
// started for the call, which is in the apartment implicitly as long as someone keeps it alive.
// What work() throws reaches the caller; failing to start the thread is an InternalFailure.
template <class Work>
std::invoke_result_t<Work&> in_multithreaded_apartment(Work&& work) {
    using Value = std::invoke_result_t<Work&>;
    if (thread_in_multithreaded_apartment()) return work();

    std::optional<Value> value;
    std::exception_ptr thrown;
    try {
        std::thread worker([&]() noexcept {
            try {
                value.emplace(work());
            } catch (...) {
                thrown = std::current_exception();
            }
        });
        worker.join();
    } catch (const std::system_error& failure) {
        throw InternalFailure(std::string("could not start a thread in the multithreaded apartment: ") +
                              failure.what());
    }
    if (thrown) std::rethrow_exception(thrown);
    return std::move(*value);
}

}  // namespace morvane::scheduler
