// scheduler_fixture.hpp: what the scheduler client's tests share: a fresh task library per test,
// threads in a chosen apartment, and the check that nothing is left outstanding.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include <gtest/gtest.h>

#include <winemu/control.h>

#include "scheduler/platform.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler::testing_support {

// A definition the emulated service accepts and can run.
inline constexpr std::string_view kTaskXml =
    "<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">"
    "<Actions><Exec><Command>/bin/true</Command></Exec></Actions>"
    "</Task>";

constexpr HRESULT hr(std::uint32_t bits) { return static_cast<HRESULT>(bits); }
inline constexpr HRESULT kFailed = hr(0x80004005u);
inline constexpr HRESULT kAccessDenied = hr(0x80070005u);

// Whether the calling thread holds an error object; asking takes it away.
inline bool thread_has_error_object() {
    IErrorInfo* info = nullptr;
    const HRESULT outcome = GetErrorInfo(0, &info);
    if (info != nullptr) info->Release();
    return outcome == 0 && info != nullptr;
}

// The operations the client's call tests drive, each on a connection of its own.
enum class Operation { run_task, delete_task, task_exists, register_xml };
const char* name_of(Operation operation);

// Performs the operation on the task named (register_xml registers kTaskXml): its failure, if any.
std::optional<SchedulerError> perform(Operation operation, std::string_view task_name);

// The apartment a test thread is in before it calls the client.
enum class StartApartment { none, single_threaded, multithreaded };
const char* name_of(StartApartment apartment);

// Each test gets its own empty task library, no queued faults, and is checked afterwards for
// objects, BSTRs, buffers, apartment entries and library handles left behind, and for misuse.
class SchedulerTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    const std::string& library() const { return library_; }

private:
    std::string library_;
};

// Runs `body` on a new thread that first enters `apartment` (and leaves it afterwards), then
// checks that the body left the thread's apartment as it found it.
void run_on_thread(StartApartment apartment, const std::function<void()>& body);

// Nothing allocated by the platform is held (objects, BSTRs, buffers, apartment entries, library
// handles) and no misuse was recorded; the violations are cleared for the next test.
void expect_nothing_outstanding();

// The violations recorded so far, as winemu's JSON array; "[]" when there are none.
std::string violations();

std::string describe(const SchedulerError& error);

}  // namespace morvane::scheduler::testing_support
