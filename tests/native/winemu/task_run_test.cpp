// task_run_test.cpp: RunEx: argument splitting, environment expansion, processes and start records.
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "failing_allocations.hpp"
#include "task_test_support.hpp"

extern char** environ;

namespace {

using namespace winemu_test;

constexpr std::u16string_view missing_program = u"/nonexistent/winemu-test-program";

// The "argv" array of the newest record, as JSON text.
std::string last_argv(const std::string& runs) {
    const std::size_t start = runs.rfind("\"argv\": ");
    if (start == std::string::npos) return "none";
    const std::size_t end = runs.find("], \"run\"", start);
    return runs.substr(start + 8, end + 1 - (start + 8));
}

using TaskRun = TaskServiceTest;

// Environment references expand first, then the arguments split as CommandLineToArgvW does; a
// quoted command is read as a program name, without escapes.
TEST_F(TaskRun, CommandLinesExpandAndSplitAsWindowsDoes) {
    setenv("WINEMU_TEST_VALUE", "value", 1);
    setenv("WINEMU_TEST_SPACED", "two words", 1);
    setenv("WINEMU_TEST_DIR", "/nonexistent", 1);
    ASSERT_EQ(winemu_set_environment(environ), 0);  // the service reads no live environment
    const struct {
        std::u16string arguments;
        std::string argv;  // after the program
        std::u16string command = std::u16string(missing_program);
        std::string program = "/nonexistent/winemu-test-program";
    } cases[] = {
        {u"a b", R"("a", "b")"},
        {u"  a \t  b  ", R"("a", "b")"},
        {u"\"a b\" c", R"("a b", "c")"},
        {u"a\"b c\"d", R"("ab cd")"},
        {u"a\\b a\\\\b", R"("a\\b", "a\\\\b")"},         // backslashes without a quote are literal
        {u"a\\\"b", R"("a\"b")"},                        // 2n+1 backslashes: n and a literal quote
        {u"\"a\\\\\" b", R"("a\\", "b")"},               // 2n backslashes: n, and the quote closes
        {u"\"\" x", R"("", "x")"},                       // an empty argument
        {u"\"a\"\"b\"", R"("a\"b")"},                    // three quotes in a row give one
        {u"\"a\"\"\" b\"", R"("a\" b")"},
        {u"\"unterminated quote", R"("unterminated quote")"},
        {u"&amp;|&lt;&gt; $HOME `x`", R"("&|<>", "$HOME", "`x`")"},  // no shell: nothing else is special
        {u"x", R"("x")", u"/nonexistent/dir with blanks/program", "/nonexistent/dir with blanks/program"},
        {u"x", R"("x")", u"\"/nonexistent/dir with blanks/program\"", "/nonexistent/dir with blanks/program"},
        {u"x", R"("x")", u"\"/nonexistent/dir\\\"", "/nonexistent/dir\\\\"},  // no escapes in a program name
        {u"\"c d\"", R"("b", "c d")", u"\"/nonexistent/a\"b", "/nonexistent/a"},  // the rest starts the arguments
        {u"", "", u"\"/nonexistent/unterminated", "/nonexistent/unterminated"},
        {u"x", R"("x")", u"%WINEMU_TEST_DIR%/program", "/nonexistent/program"},
        {u"%WINEMU_TEST_VALUE%", R"("value")"},
        {u"%winemu_test_value%", R"("value")"},  // names match case-insensitively
        {u"x%WINEMU_TEST_VALUE%%WINEMU_TEST_VALUE%y", R"("xvaluevaluey")"},
        {u"%WINEMU_TEST_UNDEFINED%", R"("%WINEMU_TEST_UNDEFINED%")"},
        {u"%WINEMU_TEST_UNDEFINED%WINEMU_TEST_VALUE%", R"("%WINEMU_TEST_UNDEFINED%WINEMU_TEST_VALUE%")"},
        {u"100% %%", R"("100%", "%%")"},
        {u"%WINEMU_TEST_VALUE", R"("%WINEMU_TEST_VALUE")"},
        {u"%WINEMU_TEST_SPACED%", R"("two", "words")"},  // expanded first, then split
        {u"\"%WINEMU_TEST_SPACED%\"", R"("two words")"},
    };
    for (const auto& c : cases) {
        ASSERT_EQ(register_task(u"Line", task_xml(c.command, c.arguments)), S_OK);
        ASSERT_EQ(run(u"Line"), S_OK);
        EXPECT_EQ(last_argv(runs_of("Line")), "[\"" + c.program + "\"" + (c.argv.empty() ? "" : ", " + c.argv) + "]")
            << testing::PrintToString(c.command + u" " + c.arguments);
    }
    unsetenv("WINEMU_TEST_VALUE");
    unsetenv("WINEMU_TEST_SPACED");
    unsetenv("WINEMU_TEST_DIR");
    winemu_set_environment(environ);
}

TEST_F(TaskRun, StartsTheProgramInItsWorkingDirectoryAndReapsIt) {
    const std::u16string directory = u16(sandbox_.string());
    const std::u16string xml =
        u"<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Actions>"
        u"<Exec><Command>touch</Command><Arguments>\"made by task\"</Arguments>"
        u"<WorkingDirectory>" + directory + u"</WorkingDirectory></Exec>"
        u"<Exec><Command>" + std::u16string(missing_program) + u"</Command></Exec>"
        u"</Actions></Task>";
    ASSERT_EQ(register_task(u"Toucher", xml), S_OK);
    Ref<IRunningTask> running;
    ASSERT_EQ(run(u"toucher", &running), S_OK);
    EXPECT_TRUE(eventually([&] { return access((sandbox_ / "made by task").c_str(), F_OK) == 0; }));
    // The second action starts (and fails to) once the first has ended.
    EXPECT_TRUE(eventually([&] { return runs_of("Toucher").find("winemu-test-program") != std::string::npos; }));

    ASSERT_EQ(winemu_wait_runs("Toucher", 10), 0);
    const std::string runs = runs_of("TOUCHER");
    const std::size_t pid_at = runs.find("\"pid\": ");
    ASSERT_NE(pid_at, std::string::npos) << runs;
    const long pid = std::atol(runs.c_str() + pid_at + 7);
    ASSERT_GT(pid, 0) << runs;
    const long runner = std::atol(runs.c_str() + runs.find("\"runner\": ") + 10);
    EXPECT_NE(runs.find(R"(, "state": "ended", "pid": )" + std::to_string(pid) + R"(, "start_time": )"), std::string::npos)
        << runs;
    EXPECT_NE(runs.find(R"("exit_code": 0, "error": null})"), std::string::npos) << runs;
    // The program that cannot start is recorded with the reason, and RunEx still succeeded.
    EXPECT_NE(runs.find(R"("state": "not started", "pid": null, "start_time": null, "end_time": null, "exit_code": null, "error": "No such file)"),
              std::string::npos)
        << runs;
    DWORD engine_pid = 0;  // the runner's
    ASSERT_EQ(running->get_EnginePID(&engine_pid), S_OK);
    EXPECT_EQ(static_cast<long>(engine_pid), runner);
    Bstr path;
    ASSERT_EQ(running->get_Path(path.put()), S_OK);
    EXPECT_EQ(view(path), u"\\Toucher");
    // No zombie: the child is reaped without the caller waiting for it.
    const std::string proc = "/proc/" + std::to_string(pid);
    EXPECT_TRUE(eventually([&] { return access(proc.c_str(), F_OK) != 0; })) << "still there: " << proc;
}

TEST_F(TaskRun, TheProgramInheritsNoDescriptorOfTheCaller) {
    // A pipe that the host opened without O_CLOEXEC: were its write end inherited, the read end
    // would see no end of file while the task runs.
    int pipe_ends[2];
    ASSERT_EQ(pipe(pipe_ends), 0);
    ASSERT_EQ(register_task(u"Sleeper", task_xml(u"sleep", u"30")), S_OK);
    ASSERT_EQ(run(u"Sleeper"), S_OK);
    close(pipe_ends[1]);
    pollfd poll_read{pipe_ends[0], POLLIN, 0};
    const int ready = poll(&poll_read, 1, 5000);
    close(pipe_ends[0]);
    EXPECT_TRUE(eventually([&] { return runs_of("Sleeper").find("\"state\": \"running\"") != std::string::npos; }));
    EXPECT_EQ(ready, 1) << "the runner or the task holds the caller's pipe open";
}

TEST_F(TaskRun, ARelativeProgramRunsFromARelativeWorkingDirectory) {
    // Two levels down, so that the path taken from here leads nowhere from there.
    const std::filesystem::path work = sandbox_ / "deep" / "er";
    std::filesystem::create_directories(work);
    const std::filesystem::path script = work / "script";
    { std::ofstream(script) << "#!/bin/sh\ntouch ran\n"; }
    ASSERT_EQ(chmod(script.c_str(), 0755), 0);
    const std::u16string directory = u16(std::filesystem::relative(work).string());
    const std::u16string xml =
        u"<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Actions>"
        u"<Exec><Command>./script</Command><WorkingDirectory>" + directory + u"</WorkingDirectory></Exec>"
        u"</Actions></Task>";
    ASSERT_EQ(register_task(u"Relative", xml), S_OK);
    ASSERT_EQ(run(u"Relative"), S_OK);
    EXPECT_TRUE(eventually([&] { return access((work / "ran").c_str(), F_OK) == 0; })) << runs_of("Relative");
}

TEST_F(TaskRun, RecordsStayJsonWhateverTheyHold) {
    setenv("WINEMU_TEST_BYTES", "\xFF\xFE", 1);
    ASSERT_EQ(winemu_set_environment(environ), 0);
    ASSERT_EQ(register_task(u"Bytes", task_xml(missing_program, u"%WINEMU_TEST_BYTES% \"tab\tand \\\"quote\"")), S_OK);
    // A record cut short by a failed write, continued on its line by the next one.
    { std::ofstream(library_ / "r.BYTES", std::ios::app) << "{\"time\": 1.0, \"argv\": [\"cut"; }
    ASSERT_EQ(run(u"Bytes"), S_OK);
    unsetenv("WINEMU_TEST_BYTES");
    winemu_set_environment(environ);
    const std::string runs = runs_of("Bytes");
    EXPECT_EQ(last_argv(runs), "[\"/nonexistent/winemu-test-program\", \"\xEF\xBF\xBD\xEF\xBF\xBD\", "
                               "\"tab\\u0009and \\\"quote\"]");
    EXPECT_EQ(runs.find("cut"), std::string::npos) << runs;
    EXPECT_EQ(runs.find("\"time\": ", runs.find("\"time\": ") + 1), std::string::npos) << runs;
}

TEST_F(TaskRun, DisabledTaskAnswersRunExWithSuccessAndRunWithTheRefusal) {
    ASSERT_EQ(register_task(u"Off", task_xml(missing_program, u"", u"<Enabled>false</Enabled>")), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Off", &task), S_OK);
    Ref<IRunningTask> refused;
    EXPECT_EQ(task->Run(VARIANT{}, refused.put()), static_cast<HRESULT>(0x80041326u));  // SCHED_E_TASK_DISABLED
    EXPECT_FALSE(refused);
    Ref<IRunningTask> running;
    ASSERT_EQ(run(u"Off", &running), S_OK);
    EXPECT_EQ(runs_of("Off"), "[]");
    DWORD engine_pid = 1;
    ASSERT_EQ(running->get_EnginePID(&engine_pid), S_OK);
    EXPECT_EQ(engine_pid, 0u);
}

TEST_F(TaskRun, RecordsAccumulateSurviveTheProcessAndGoWithTheTask) {
    ASSERT_EQ(register_task(u"Folder\\Recorded", task_xml(missing_program, u"first")), S_OK);
    ASSERT_EQ(run(u"Folder\\Recorded"), S_OK);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) _exit(run(u"folder\\recorded") == S_OK ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    const std::string runs = runs_of("\\Folder\\Recorded");
    EXPECT_EQ(runs.front(), '[');
    EXPECT_EQ(runs.back(), ']');
    const std::size_t first = runs.find("\"time\": ");
    const std::size_t second = runs.find("\"time\": ", first + 1);
    ASSERT_NE(second, std::string::npos) << runs;
    EXPECT_EQ(runs.find("\"time\": ", second + 1), std::string::npos) << runs;
    EXPECT_LE(std::atof(runs.c_str() + first + 8), std::atof(runs.c_str() + second + 8));  // oldest first

    ASSERT_EQ(delete_task(u"Folder\\Recorded"), S_OK);
    EXPECT_EQ(runs_of("Folder\\Recorded"), "[]");
    EXPECT_EQ(runs_of("a\\..\\b"), "invalid");
    EXPECT_EQ(runs_of("\\"), "invalid");
    EXPECT_EQ(runs_of(""), "invalid");
    EXPECT_EQ(winemu_runs(nullptr, nullptr, 0), static_cast<size_t>(-1));
}

TEST_F(TaskRun, ALaunchOutOfMemoryIsRecordedAndEndsTheRun) {
    // The first action's argument expands to a value far larger than anything else the run
    // allocates: failing only allocations that large makes its launch, and nothing else, run out
    // of memory.
    const std::string huge(100000, 'x');  // inherited by the children: under the 128 KiB an exec string may take
    ASSERT_EQ(setenv("WINEMU_TEST_HUGE", huge.c_str(), 1), 0);
    ASSERT_EQ(winemu_set_environment(environ), 0);
    ASSERT_EQ(register_task(u"Two",
                            u"<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Actions>"
                            u"<Exec><Command>/bin/true</Command><Arguments>%WINEMU_TEST_HUGE%</Arguments></Exec>"
                            u"<Exec><Command>/bin/true</Command><Arguments>second</Arguments></Exec>"
                            u"</Actions></Task>"),
              S_OK);
    Ref<IRunningTask> running;
    {
        const FailingLargeAllocations failing(huge.size() / 2);
        EXPECT_EQ(run(u"Two", &running), S_OK);
    }
    unsetenv("WINEMU_TEST_HUGE");
    winemu_set_environment(environ);
    // The action out of memory is recorded with why, and ends its run there, as any action that
    // cannot start does.
    ASSERT_EQ(winemu_wait_runs("Two", 10), 0);
    const std::string runs = runs_of("Two");
    const std::size_t failed = runs.find("\"last\": true, \"runner\": null, \"state\": \"not started\", \"pid\": null, \"start_time\": null, \"end_time\": null, \"exit_code\": null, \"error\": \"out of memory\"}");
    ASSERT_NE(failed, std::string::npos) << runs;
    EXPECT_EQ(runs.find("second"), std::string::npos) << runs;
    EXPECT_TRUE(running);
}

TEST_F(TaskRun, RunExOnAVanishedTaskAndBadArguments) {
    ASSERT_EQ(register_task(u"Gone", task_xml(missing_program)), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Gone", &task), S_OK);
    VARIANT empty{};
    EXPECT_EQ(task->RunEx(empty, TASK_RUN_NO_FLAGS, 0, nullptr, nullptr), E_POINTER);
    ASSERT_EQ(delete_task(u"Gone"), S_OK);
    Ref<IRunningTask> running;
    EXPECT_EQ(task->RunEx(empty, TASK_RUN_NO_FLAGS, 0, nullptr, running.put()), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(running);
    EXPECT_EQ(run(u"Gone"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(TaskRun, FaultsAreTakenBeforeAnythingHappens) {
    ASSERT_EQ(register_task(u"Faulty", task_xml(missing_program)), S_OK);
    winemu_fail_next("RunEx", E_ACCESSDENIED, nullptr, nullptr);
    EXPECT_EQ(run(u"Faulty"), E_ACCESSDENIED);
    winemu_fail_next("RunEx", 0, nullptr, nullptr);  // success without an instance
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Faulty", &task), S_OK);
    Ref<IRunningTask> running;
    VARIANT empty{};
    EXPECT_EQ(task->RunEx(empty, TASK_RUN_NO_FLAGS, 0, nullptr, running.put()), S_OK);
    EXPECT_FALSE(running);
    EXPECT_EQ(runs_of("Faulty"), "[]");

    winemu_fail_next("GetTask", E_ACCESSDENIED, "refused by test", nullptr);
    EXPECT_EQ(get_task(u"Faulty"), E_ACCESSDENIED);
    winemu_fail_next("DeleteTask", E_ACCESSDENIED, nullptr, nullptr);
    EXPECT_EQ(delete_task(u"Faulty"), E_ACCESSDENIED);
    winemu_fail_next("RegisterTask", 0, nullptr, nullptr);
    Ref<IRegisteredTask> registered;
    EXPECT_EQ(register_task(u"Other", task_xml(), TASK_CREATE_OR_UPDATE, &registered), S_OK);
    EXPECT_FALSE(registered);
    EXPECT_EQ(get_task(u"Other"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(get_task(u"Faulty"), S_OK);
}

// The pids of the started processes, in record order.
std::vector<long> pids_in(const std::string& runs) {
    std::vector<long> pids;
    for (std::size_t at = runs.find("\"pid\": "); at != std::string::npos; at = runs.find("\"pid\": ", at + 1)) {
        const long pid = std::atol(runs.c_str() + at + 7);
        if (pid > 0) pids.push_back(pid);
    }
    return pids;
}

std::vector<double> times_in(const std::string& runs) {
    std::vector<double> times;
    for (std::size_t at = runs.find("\"time\": "); at != std::string::npos; at = runs.find("\"time\": ", at + 1))
        times.push_back(std::atof(runs.c_str() + at + 8));
    return times;
}

int threads_of_this_process() {
    int threads = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++threads;
    return threads;
}

bool is_gone(long pid) { return access(("/proc/" + std::to_string(pid)).c_str(), F_OK) != 0; }

TEST_F(TaskRun, ActionsStartOneAfterAnotherWithoutRunExWaiting) {
    const auto marker = sandbox_ / "last";
    std::u16string actions;
    for (int i = 0; i < 3; ++i) actions += u"<Exec><Command>sleep</Command><Arguments>0.3</Arguments></Exec>";
    actions += u"<Exec><Command>" + std::u16string(missing_program) + u"</Command></Exec>";
    actions += u"<Exec><Command>touch</Command><Arguments>" + u16(marker.string()) + u"</Arguments></Exec>";
    ASSERT_EQ(register_task(u"Chain", u"<Task xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\"><Actions>" +
                                          actions + u"</Actions></Task>"),
              S_OK);
    const auto start = std::chrono::steady_clock::now();
    ASSERT_EQ(run(u"Chain"), S_OK);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(250));
    EXPECT_LE(pids_in(runs_of("Chain")).size(), 1u) << "only the first action runs at first";
    ASSERT_EQ(winemu_wait_runs("Chain", 10), 0);
    const std::string runs = runs_of("Chain");
    const std::vector<double> times = times_in(runs);
    ASSERT_EQ(times.size(), 4u) << runs;
    for (std::size_t i = 1; i < 3; ++i) EXPECT_GE(times[i] - times[i - 1], 0.29) << runs;  // each after the last ended
    // The action that cannot start ends the run, as on Windows: the next one never starts.
    EXPECT_NE(runs.find("\"pid\": null, \"start_time\": null, \"end_time\": null, \"exit_code\": null, \"error\": \"No such file"), std::string::npos) << runs;
    EXPECT_FALSE(std::filesystem::exists(marker)) << runs;
    for (const long pid : pids_in(runs)) EXPECT_TRUE(eventually([&] { return is_gone(pid); })) << pid;
}

TEST_F(TaskRun, ARecordThatCannotBeWrittenFailsTheRunBeforeAnythingStarts) {
    const auto marker = sandbox_ / "started";
    ASSERT_EQ(register_task(u"Unrecorded", task_xml(u"touch", u16(marker.string()))), S_OK);
    ASSERT_EQ(run(u"Unrecorded"), S_OK);
    ASSERT_EQ(winemu_wait_runs("Unrecorded", 10), 0);
    std::filesystem::remove(marker);
    const std::string before = runs_of("Unrecorded");
    signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit full = saved;
    full.rlim_cur = std::filesystem::file_size(library_ / "r.UNRECORDED");  // as a full disk would refuse
    setrlimit(RLIMIT_FSIZE, &full);
    const HRESULT ran = run(u"Unrecorded");
    setrlimit(RLIMIT_FSIZE, &saved);
    signal(SIGXFSZ, SIG_DFL);
    EXPECT_EQ(ran, HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_FALSE(std::filesystem::exists(marker));
    EXPECT_EQ(runs_of("Unrecorded"), before);
}

TEST_F(TaskRun, RunsLeaveTheCallerNoChildNorThreadAndEndOnRequest) {
    ASSERT_EQ(register_task(u"Sleeper", task_xml(u"sleep", u"60", u"<MultipleInstancesPolicy>Parallel</MultipleInstancesPolicy>")),
              S_OK);
    const int threads_before = threads_of_this_process();
    constexpr int runs = 20;
    for (int i = 0; i < runs; ++i) ASSERT_EQ(run(u"Sleeper"), S_OK);
    // The runners' first processes are reaped by threads that end with them.
    EXPECT_TRUE(eventually([&] { return threads_of_this_process() == threads_before; }));
    EXPECT_TRUE(eventually([&] { return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD; })) << "a child left";
    ASSERT_TRUE(eventually([&] { return pids_in(runs_of("Sleeper")).size() == runs; })) << runs_of("Sleeper");
    EXPECT_EQ(winemu_wait_runs("Sleeper", 0.1), runs);
    EXPECT_EQ(winemu_end_runs("Sleeper", 5), 0);
    const std::string ended = runs_of("Sleeper");
    std::size_t terminated = 0;
    for (std::size_t at = ended.find("\"state\": \"terminated\""); at != std::string::npos;
         at = ended.find("\"state\": \"terminated\"", at + 1))
        ++terminated;
    EXPECT_EQ(terminated, static_cast<std::size_t>(runs)) << ended;
    for (const long pid : pids_in(ended)) EXPECT_TRUE(eventually([&] { return is_gone(pid); })) << pid;
}

}  // namespace
