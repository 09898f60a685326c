// task_store_test.cpp: the library on disk: atomic replacement under concurrent writers, no stray
// files, and lookups whose cost does not grow with the library.
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>
#include <vector>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

// A definition whose every byte says who wrote it: a torn mix of two writers cannot pass check().
std::u16string signed_xml(char16_t writer) {
    return task_xml(u"/bin/true", u"writer-" + std::u16string(4000, writer));
}

bool is_whole_definition(std::u16string_view xml) {
    const std::size_t start = xml.find(u"writer-");
    if (start == std::u16string_view::npos) return false;
    const char16_t writer = xml[start + 7];
    return xml == signed_xml(writer);
}

class TaskStore : public TaskServiceTest {
protected:
    // Reads the task back until `done`, failing on anything but a whole definition.
    void read_until(const std::atomic<bool>& done, std::atomic<int>& bad_reads) {
        winemu_enter_apartment(1);
        {
            Ref<ITaskService> service;
            CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                             reinterpret_cast<void**>(service.put()));
            VARIANT empty{};
            service->Connect(empty, empty, empty, empty);
            Ref<ITaskFolder> root;
            service->GetFolder(Text(u"\\").get(), root.put());
            const Text name(u"Contended");
            while (!done.load()) {
                Ref<IRegisteredTask> task;
                if (FAILED(root->GetTask(name.get(), task.put()))) {
                    ++bad_reads;  // a replaced task never disappears, not even for a moment
                    continue;
                }
                Bstr xml;
                if (FAILED(task->get_Xml(xml.put())) || !is_whole_definition(xml.view())) ++bad_reads;
            }
        }
        winemu_leave_apartment();
    }

    std::vector<std::string> temporary_files() {
        std::vector<std::string> temporary;
        for (const std::string& entry : entries_under(library_))
            if (entry.find("/.tmp") != std::string::npos || entry.rfind(".tmp", 0) == 0) temporary.push_back(entry);
        return temporary;
    }
};

TEST_F(TaskStore, ConcurrentThreadsReplaceWholeDefinitions) {
    ASSERT_EQ(register_task(u"Contended", signed_xml(u'0')), S_OK);
    std::atomic<bool> done{false};
    std::atomic<int> bad_reads{0};
    std::atomic<int> failed_writes{0};
    std::thread reader([&] { read_until(done, bad_reads); });
    std::vector<std::thread> writers;
    for (char16_t writer : {u'a', u'b', u'c', u'd'}) {
        writers.emplace_back([&, writer] {
            winemu_enter_apartment(1);
            {
                Ref<ITaskService> service;
                CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                 reinterpret_cast<void**>(service.put()));
                VARIANT empty{};
                service->Connect(empty, empty, empty, empty);
                Ref<ITaskFolder> root;
                service->GetFolder(Text(u"\\").get(), root.put());
                const Text name(writer == u'a' ? u"contended" : u"CONTENDED");
                const Text xml(signed_xml(writer));
                for (int i = 0; i < 60; ++i) {
                    Ref<IRegisteredTask> task;
                    if (root->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                           TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put()) != S_OK)
                        ++failed_writes;
                }
            }
            winemu_leave_apartment();
        });
    }
    for (auto& writer : writers) writer.join();
    done = true;
    reader.join();
    EXPECT_EQ(failed_writes.load(), 0);
    EXPECT_EQ(bad_reads.load(), 0);
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"Contended", &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\Contended");  // the first spelling survives every replacement
}

TEST_F(TaskStore, ConcurrentProcessesReplaceWholeDefinitions) {
    ASSERT_EQ(register_task(u"Contended", signed_xml(u'0')), S_OK);
    std::vector<pid_t> children;
    for (char16_t writer : {u'p', u'q', u'r'}) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            // In the child: write through the platform as another process would, then report.
            int failures = 0;
            for (int i = 0; i < 60; ++i) failures += register_task(u"Contended", signed_xml(writer)) == S_OK ? 0 : 1;
            _exit(failures == 0 ? 0 : 1);
        }
        children.push_back(child);
    }
    std::atomic<bool> done{false};
    std::atomic<int> bad_reads{0};
    std::thread reader([&] { read_until(done, bad_reads); });
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    done = true;
    reader.join();
    EXPECT_EQ(bad_reads.load(), 0);
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

TEST_F(TaskStore, FailedWritesLeaveNothingBehind) {
    ASSERT_EQ(register_task(u"Folder\\Task"), S_OK);
    EXPECT_EQ(register_task(u"Folder"), E_ACCESSDENIED);
    EXPECT_EQ(register_task(u"Folder\\Task", task_xml(), TASK_CREATE), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(register_task(u"Bad", u"<Task"), SCHED_E_MALFORMEDXML);
    // A library that cannot be written: the write fails as access denied and leaves no file.
    ASSERT_EQ(chmod(library_.c_str(), 0555), 0);
    if (access(library_.c_str(), W_OK) != 0) {  // (root ignores the mode)
        EXPECT_EQ(register_task(u"Blocked"), E_ACCESSDENIED);
    }
    ASSERT_EQ(chmod(library_.c_str(), 0755), 0);
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
    EXPECT_EQ(get_task(u"Bad"), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
}

TEST_F(TaskStore, LongNamesAreSplitAndCleanedUp) {
    // 255 characters that each take three bytes escaped: far beyond one file name.
    const std::u16string long_name(255, u'\u20AC');
    ASSERT_EQ(register_task(long_name), S_OK);
    ASSERT_EQ(register_task(u"F\\" + std::u16string(250, u'~')), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(long_name, &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\" + long_name);
    EXPECT_EQ(get_task(std::u16string(254, u'\u20AC')), HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    EXPECT_EQ(delete_task(long_name), S_OK);
    EXPECT_EQ(delete_task(u"f\\" + std::u16string(250, u'~')), S_OK);
    // Only the folder F remains (with its spelling file).
    for (const std::string& entry : entries_under(library_)) EXPECT_EQ(entry.rfind("d.F", 0), 0u) << entry;
}

double seconds_for_missing_lookups(TaskServiceTest& test, ITaskFolder* root) {
    (void)test;
    const Text missing(u"Never Registered");
    double best = 1e9;
    for (int round = 0; round < 5; ++round) {
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 400; ++i) {
            Ref<IRegisteredTask> task;
            root->GetTask(missing.get(), task.put());
        }
        best = std::min(best, std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    }
    return best;
}

TEST_F(TaskStore, MissingLookupCostDoesNotGrowWithTheLibrary) {
    for (int i = 0; i < 5; ++i) ASSERT_EQ(register_task(u"Task " + u16(std::to_string(i))), S_OK);
    const double small = seconds_for_missing_lookups(*this, root_.get());
    for (int i = 5; i < 5000; ++i) ASSERT_EQ(register_task(u"Task " + u16(std::to_string(i))), S_OK);
    const double large = seconds_for_missing_lookups(*this, root_.get());
    // A scan of 5,000 entries would cost hundreds of times more; allow for a noisy machine.
    EXPECT_LT(large, small * 4 + 0.005) << "5 tasks: " << small << " s, 5000 tasks: " << large << " s";
    EXPECT_EQ(get_task(u"task 4999"), S_OK);
}

}  // namespace
