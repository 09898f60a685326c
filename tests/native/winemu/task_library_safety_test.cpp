// task_library_safety_test.cpp: what a planted file, a damaged file, a failing disk or a killed
// writer can do to the task library: each is refused or cleaned up, never followed or spread.
#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <thread>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

const HRESULT no_task = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT no_path = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

class LibrarySafety : public TaskServiceTest {
protected:
    std::filesystem::path outside_file(std::string_view text) {
        const std::filesystem::path outside = sandbox_ / "outside";
        { std::ofstream(outside) << text; }
        return outside;
    }
};

// Ways to plant something where a task's file (or its records) goes.
struct Planting {
    const char* what;
    std::function<void(const std::filesystem::path& at, const std::filesystem::path& outside)> plant;
};

const Planting plantings[] = {
    {"symlink to an outside file", [](auto& at, auto& outside) { ASSERT_EQ(symlink(outside.c_str(), at.c_str()), 0); }},
    {"hard link to an outside file", [](auto& at, auto& outside) { ASSERT_EQ(link(outside.c_str(), at.c_str()), 0); }},
    {"FIFO", [](auto& at, auto&) { ASSERT_EQ(mkfifo(at.c_str(), 0600), 0); }},
    {"directory", [](auto& at, auto&) { ASSERT_TRUE(std::filesystem::create_directory(at)); }},
};

TEST_F(LibrarySafety, APlantedTaskFileIsRefusedAlikeByEveryCallAndKept) {
    const std::string secret = "\\Planted\n" + std::string(128, 's');
    for (const Planting& planting : plantings) {
        SCOPED_TRACE(planting.what);
        ASSERT_EQ(register_task(u"Seed"), S_OK);  // the library exists
        const auto outside = outside_file(secret);
        const auto at = library_ / "t.PLANTED";
        planting.plant(at, outside);
        EXPECT_EQ(get_task(u"Planted"), E_ACCESSDENIED);
        for (const LONG flags : {TASK_CREATE, TASK_UPDATE, TASK_CREATE_OR_UPDATE})
            EXPECT_EQ(register_task(u"Planted", task_xml(), flags), E_ACCESSDENIED) << flags;
        EXPECT_EQ(delete_task(u"Planted"), E_ACCESSDENIED);
        EXPECT_EQ(runs_of("Planted"), "[]");
        // Still there, and the outside file neither read into a task nor written.
        struct stat status {};
        EXPECT_EQ(lstat(at.c_str(), &status), 0);
        EXPECT_EQ(read_file(outside), secret);
        std::filesystem::remove_all(library_);
        std::filesystem::remove(outside);
    }
}

TEST_F(LibrarySafety, PlantedRecordsRefuseTheRunBeforeAnythingStarts) {
    const std::string secret = "not a record\n";
    for (const Planting& planting : plantings) {
        SCOPED_TRACE(planting.what);
        const auto marker = sandbox_ / "started";
        ASSERT_EQ(register_task(u"Planted", task_xml(u"touch", u16(marker.string()))), S_OK);
        const auto outside = outside_file(secret);
        planting.plant(library_ / "r.PLANTED", outside);
        EXPECT_EQ(run(u"Planted"), E_ACCESSDENIED);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        EXPECT_FALSE(std::filesystem::exists(marker));
        EXPECT_EQ(read_file(outside), secret);
        // Deleting the task leaves what it did not write.
        EXPECT_EQ(delete_task(u"Planted"), S_OK);
        struct stat status {};
        EXPECT_EQ(lstat((library_ / "r.PLANTED").c_str(), &status), 0);
        std::filesystem::remove_all(library_);
        std::filesystem::remove(outside);
    }
}

TEST_F(LibrarySafety, FoldersAndFilesArePrivateWhateverTheUmask) {
    for (const mode_t mask : {mode_t{0}, mode_t{022}, mode_t{0277}}) {
        SCOPED_TRACE(mask);
        const mode_t saved = umask(mask);
        const HRESULT registered = register_task(u"Folder\\Deeper\\Task", task_xml(u"/nonexistent/program"));
        const HRESULT ran = run(u"Folder\\Deeper\\Task");
        umask(saved);
        ASSERT_EQ(registered, S_OK);
        ASSERT_EQ(ran, S_OK);
        std::vector<std::string> seen;
        for (const std::string& entry : entries_under(library_)) {
            struct stat status {};
            ASSERT_EQ(lstat((library_ / entry).c_str(), &status), 0);
            EXPECT_EQ(status.st_mode & 07777, S_ISDIR(status.st_mode) ? 0700u : 0600u) << entry;
            seen.push_back(entry);
        }
        // Two folders with their spellings, the task, its records, the computer's accounts.
        EXPECT_EQ(seen.size(), 7u);
        struct stat library {};
        ASSERT_EQ(stat(library_.c_str(), &library), 0);
        EXPECT_EQ(library.st_mode & 07777, 0700u);
        std::filesystem::remove_all(library_);
    }
}

// Makes every write past `bytes` in a file fail with EFBIG, as a full disk would fail it, until
// destroyed.
class FileSizeLimit {
public:
    explicit FileSizeLimit(rlim_t bytes) {
        signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit lowered = saved_;
        lowered.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &lowered);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        signal(SIGXFSZ, SIG_DFL);
    }

private:
    rlimit saved_{};
};

TEST_F(LibrarySafety, AFailedRegistrationLeavesNoFolderBehind) {
    ASSERT_EQ(register_task(u"A\\Existing"), S_OK);
    const auto before = entries_under(library_);
    {
        // Room for a folder's spelling, none for a definition.
        const FileSizeLimit limit(64);
        EXPECT_EQ(register_task(u"A\\B\\C\\T"), HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
        EXPECT_EQ(register_task(u"A\\" + std::u16string(200, u'\u20AC') + u"\\T"),
                  HRESULT_FROM_WIN32(ERROR_FILE_TOO_LARGE));
    }
    EXPECT_EQ(entries_under(library_), before);
    EXPECT_EQ(get_task(u"A\\B\\C\\T"), no_path);
    Ref<ITaskFolder> folder;
    EXPECT_EQ(service_->GetFolder(Text(u"\\A\\B").get(), folder.put()), no_task);
    // The next caller's spelling is the one the folders get.
    Ref<IRegisteredTask> task;
    ASSERT_EQ(register_task(Text(u"a\\b\\c\\T"), task_xml(), TASK_CREATE_OR_UPDATE, &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\A\\b\\c\\T");
}

TEST_F(LibrarySafety, WritersKilledAtAnyMomentLeaveOnlyWholeDefinitions) {
    // Definitions of a few megabytes make every kill likely to land inside a write.
    const std::u16string big = task_xml(u"/bin/true", std::u16string(300000, u'x'));
    ASSERT_EQ(register_task(u"Killed", big), S_OK);
    const std::string whole = read_file(library_ / "t.KILLED");
    for (int round = 0; round < 40; ++round) {
        const pid_t writer = fork();
        ASSERT_GE(writer, 0);
        if (writer == 0) {
            for (;;) register_task(u"Killed", big);
        }
        std::this_thread::sleep_for(std::chrono::microseconds(2000 + 997 * (round % 7)));
        kill(writer, SIGKILL);
        waitpid(writer, nullptr, 0);
        // Whatever the library holds is a whole definition, under whatever name.
        for (const std::string& entry : task_entries_under(library_))
            EXPECT_EQ(read_file(library_ / entry), whole) << "round " << round << ": " << entry;
    }
    // The next write of the task removes what a killed writer may have left.
    ASSERT_EQ(register_task(u"Killed", big), S_OK);
    EXPECT_EQ(task_entries_under(library_), std::vector<std::string>{"t.KILLED"});
}

// Changes made by hand to a stored task file: each is caught when the task is read back.
TEST_F(LibrarySafety, ADamagedTaskFileIsRefusedByEveryCallThatReadsIt) {
    const std::u16string xml = task_xml(u"/nonexistent/program");
    const struct {
        const char* what;
        std::function<void(const std::filesystem::path&)> damage;
    } damages[] = {
        {"truncated", [](auto& file) { std::filesystem::resize_file(file, std::filesystem::file_size(file) - 20); }},
        {"another path", [](auto& file) {
             std::string text = read_file(file);
             std::ofstream(file, std::ios::trunc) << "\\Elsewhere" << text.substr(text.find('\n'));
         }},
        {"no path line", [](auto& file) { std::ofstream(file, std::ios::trunc) << "<Task/>"; }},
        {"a NUL inside", [](auto& file) { std::ofstream(file, std::ios::app) << std::string(1, '\0') << "<x/>"; }},
        {"grown to 4 GiB", [](auto& file) { std::filesystem::resize_file(file, std::uintmax_t{4} << 30); }},
    };
    for (const auto& damage : damages) {
        SCOPED_TRACE(damage.what);
        ASSERT_EQ(register_task(u"Damaged", xml), S_OK);
        Ref<IRegisteredTask> task;
        ASSERT_EQ(get_task(u"Damaged", &task), S_OK);
        damage.damage(library_ / "t.DAMAGED");
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(get_task(u"Damaged"), SCHED_E_INVALID_TASK_HASH);
        Ref<IRunningTask> running;
        VARIANT empty{};
        EXPECT_EQ(task->RunEx(empty, TASK_RUN_NO_FLAGS, 0, nullptr, running.put()), SCHED_E_INVALID_TASK_HASH);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));  // nothing read whole
        EXPECT_EQ(runs_of("Damaged"), "[]");
        // Replacing it with a sound definition repairs it; creating anew does not pass over it.
        EXPECT_EQ(register_task(u"Damaged", xml, TASK_CREATE), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
        EXPECT_EQ(register_task(u"Damaged", xml, TASK_UPDATE), S_OK);
        EXPECT_EQ(get_task(u"Damaged"), S_OK);
        EXPECT_EQ(delete_task(u"Damaged"), S_OK);
    }
}

}  // namespace
