// task_store_test.cpp: the library on disk: atomic replacement under concurrent writers, no stray
// files, and lookups whose cost does not grow with the library.
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <fstream>
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
        const ThreadConnection connection;
        const Text name(u"Contended");
        while (!done.load()) {
            Ref<IRegisteredTask> task;
            if (FAILED(connection.root()->GetTask(name.get(), task.put()))) {
                ++bad_reads;  // a replaced task never disappears, not even for a moment
                continue;
            }
            Bstr xml;
            if (FAILED(task->get_Xml(xml.put())) || !is_whole_definition(view(xml))) ++bad_reads;
        }
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
            const ThreadConnection connection;
            const Text name(writer == u'a' ? u"contended" : u"CONTENDED");
            const Text xml(signed_xml(writer));
            for (int i = 0; i < 60; ++i) failed_writes += connection.register_task(name, xml) == S_OK ? 0 : 1;
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

// Lowers the descriptor limit and takes every free descriptor under it but `left`, until destroyed.
class FewDescriptors {
public:
    explicit FewDescriptors(int left) {
        getrlimit(RLIMIT_NOFILE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = 256;
        setrlimit(RLIMIT_NOFILE, &lowered);
        const int source = open("/dev/null", O_RDONLY | O_CLOEXEC);
        if (source >= 0) held_.push_back(source);
        for (int fd; source >= 0 && (fd = fcntl(source, F_DUPFD_CLOEXEC, 0)) >= 0;) held_.push_back(fd);
        for (; left > 0 && !held_.empty(); --left) {
            close(held_.back());
            held_.pop_back();
        }
    }
    FewDescriptors(const FewDescriptors&) = delete;
    FewDescriptors& operator=(const FewDescriptors&) = delete;
    ~FewDescriptors() {
        for (const int fd : held_) close(fd);
        setrlimit(RLIMIT_NOFILE, &saved_);
    }

private:
    rlimit saved_{};
    std::vector<int> held_;
};

TEST_F(TaskStore, ADefinitionThatCannotBeReadIsNotTakenForANewTask) {
    ASSERT_EQ(register_task(u"Kept"), S_OK);
    const std::filesystem::path definition = library_ / "t.KEPT";
    const std::filesystem::path runs = library_ / "r.KEPT";
    { std::ofstream(runs) << "{\"time\": 1.0, \"argv\": [\"kept\"], \"pid\": 1, \"error\": null}\n"; }
    const std::string definition_before = read_file(definition);
    const std::string runs_before = read_file(runs);
    {
        // One descriptor: enough for the library, none left to read the definition (EMFILE).
        const FewDescriptors few(1);
        EXPECT_EQ(register_task(u"Kept", task_xml(u"/bin/false")), E_FAIL);
    }
    // Unreadable by mode: refused as access denied (root reads it whatever the mode).
    ASSERT_EQ(chmod(definition.c_str(), 0), 0);
    if (access(definition.c_str(), R_OK) != 0) {
        EXPECT_EQ(register_task(u"Kept", task_xml(u"/bin/false")), E_ACCESSDENIED);
    }
    ASSERT_EQ(chmod(definition.c_str(), 0644), 0);
    // Neither the definition nor the start records of the task were touched.
    EXPECT_EQ(read_file(definition), definition_before);
    EXPECT_EQ(read_file(runs), runs_before);
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

// Where the library stands answers a lookup before any task file does, alike for a task of the
// root folder (read by its path) and one inside a folder (reached through open directories).
TEST_F(TaskStore, LookupsAnswerAlikeWhereverTheLibraryStands) {
    const HRESULT no_task = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const HRESULT no_path = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    ASSERT_EQ(register_task(u"Present"), S_OK);
    ASSERT_EQ(register_task(u"Folder\\Present"), S_OK);
    const std::filesystem::path file = sandbox_ / "file", link = sandbox_ / "link", none = sandbox_ / "none";
    { std::ofstream(file) << "x"; }
    std::filesystem::create_directory_symlink(library_, link);
    struct Case {
        const char* what;
        std::filesystem::path library;
        HRESULT root_task, folder_task;  // of "Present", "Folder\\Present"
    };
    const Case cases[] = {
        {"the library", library_, S_OK, S_OK},
        {"a symlink to the library", link, S_OK, S_OK},
        {"no library yet", none, no_task, no_path},
        {"a file for a library", file, no_task, no_path},
    };
    for (const Case& where : cases) {
        SCOPED_TRACE(where.what);
        ASSERT_EQ(winemu_set_task_library(where.library.c_str()), 0);
        const ThreadConnection connection;
        Ref<IRegisteredTask> task;
        EXPECT_EQ(connection.root()->GetTask(Text(u"Present").get(), task.put()), where.root_task);
        task.reset();
        EXPECT_EQ(connection.root()->GetTask(Text(u"Folder\\Present").get(), task.put()), where.folder_task);
    }
    ASSERT_EQ(winemu_set_task_library(library_.c_str()), 0);
    // A library that can be searched but not listed finds its root tasks by name; walking into a
    // folder opens it, which is refused (root lists it whatever the mode).
    ASSERT_EQ(chmod(library_.c_str(), 0300), 0);
    if (access(library_.c_str(), R_OK) != 0) {
        EXPECT_EQ(get_task(u"Present"), S_OK);
        EXPECT_EQ(get_task(u"Missing"), no_task);
        EXPECT_EQ(get_task(u"Folder\\Present"), E_ACCESSDENIED);
    }
    ASSERT_EQ(chmod(library_.c_str(), 0700), 0);
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
    for (const std::string& entry : task_entries_under(library_)) EXPECT_EQ(entry.rfind("d.F", 0), 0u) << entry;
}

TEST_F(TaskStore, DeletionWhileAnotherThreadRegisters) {
    // A long name lives below piece directories that its deletion removes; a registration racing
    // with the deletion still succeeds, and a deletion finds the task or nothing.
    const std::u16string name = u"Racing\\" + std::u16string(200, u'\u20AC');
    ASSERT_EQ(register_task(name), S_OK);
    std::atomic<int> failed_registrations{0};
    std::atomic<int> odd_deletions{0};
    std::thread registrar([&] {
        const ThreadConnection connection;
        const Text task_name(name);
        const Text xml(task_xml());
        for (int i = 0; i < 200; ++i) failed_registrations += connection.register_task(task_name, xml) == S_OK ? 0 : 1;
    });
    std::thread deleter([&] {
        const ThreadConnection connection;
        const Text task_name(name);
        for (int i = 0; i < 200; ++i) {
            const HRESULT hr = connection.root()->DeleteTask(task_name.get(), 0);
            if (hr != S_OK && hr != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) ++odd_deletions;
        }
    });
    registrar.join();
    deleter.join();
    EXPECT_EQ(failed_registrations.load(), 0);
    EXPECT_EQ(odd_deletions.load(), 0);
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
}

TEST_F(TaskStore, ATaskAndAFolderNeverTakeOneNameAtOnce) {
    const HRESULT taken[] = {E_ACCESSDENIED, HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS)};
    for (int round = 0; round < 100; ++round) {
        const std::u16string name = u"Race " + u16(std::to_string(round));
        std::atomic<int> ready{0};
        HRESULT results[2] = {E_FAIL, E_FAIL};
        std::vector<std::thread> racers;
        for (int which = 0; which < 2; ++which) {
            racers.emplace_back([&, which] {
                const ThreadConnection connection;
                const Text task_name(which == 0 ? name : name + u"\\Inner");
                const Text xml(task_xml());
                ++ready;
                while (ready.load() < 2) {
                }
                results[which] = connection.register_task(task_name, xml);
            });
        }
        for (auto& racer : racers) racer.join();
        // One of them wins; the other meets the winner's name.
        EXPECT_NE(results[0] == S_OK, results[1] == S_OK) << round;
        for (HRESULT result : results)
            EXPECT_TRUE(result == S_OK || result == taken[0] || result == taken[1]) << std::hex << result;
        EXPECT_NE(get_task(name) == S_OK, get_task(name + u"\\Inner") == S_OK) << round;
    }
}

TEST_F(TaskStore, AFolderMadeByManyProcessesAtOnce) {
    const std::u16string spellings[] = {u"Shared", u"SHARED", u"shared", u"sHaReD"};
    std::vector<pid_t> children;
    for (int i = 0; i < 4; ++i) {
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            const std::u16string name = spellings[i] + u"\\Deeper\\Task " + u16(std::to_string(i));
            _exit(register_task(name) == S_OK ? 0 : 1);
        }
        children.push_back(child);
    }
    for (pid_t child : children) {
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    // Every task is there, and all show the one spelling the folder was made with.
    std::u16string folder;
    for (int i = 0; i < 4; ++i) {
        Ref<IRegisteredTask> task;
        ASSERT_EQ(get_task(u"shared\\deeper\\task " + u16(std::to_string(i)), &task), S_OK);
        const std::u16string path = path_of(task.get());
        const std::u16string task_folder = path.substr(0, path.rfind(u'\\'));
        if (folder.empty()) folder = task_folder;
        EXPECT_EQ(task_folder, folder);
    }
    EXPECT_EQ(temporary_files(), std::vector<std::string>{});
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
