// task_folders_test.cpp: CreateFolder, DeleteFolder and GetFolder as Windows answers them, the
// collections' enumerators, and folders made and deleted by several callers at once.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <optional>
#include <thread>
#include <vector>

#include "lock_release_hook.hpp"
#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

enum class Call { create, remove, open };

// One call on a folder opened from the service (`on`: "" is the root, a path without '\' a
// relative one) in a library holding the folder \Wine\Folder1 and the task \Task.
struct FolderCase {
    const char* label;
    std::u16string_view on;
    Call call;
    std::optional<std::u16string_view> name;  // nothing: a null BSTR
    HRESULT expected;
    std::u16string_view path = u"";  // create and open: the path the folder handed out reads
};

constexpr HRESULT invalid_name = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
constexpr HRESULT exists = HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS);
const std::u16string too_long(256, u'x');

const FolderCase folder_cases[] = {
    {"create null name", u"", Call::create, std::nullopt, E_INVALIDARG},
    {"create the root by an empty name", u"", Call::create, u"", E_INVALIDARG},
    {"create the root", u"", Call::create, u"\\", E_INVALIDARG},
    {"create a slash", u"", Call::create, u"/", invalid_name},
    {"create with a trailing backslash", u"", Call::create, u"\\New\\", invalid_name},
    {"create a dot element", u"", Call::create, u"New\\.\\Sub", invalid_name},
    {"create two leading backslashes", u"", Call::create, u"\\\\New", invalid_name},
    {"create an element too long", u"", Call::create, too_long, HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE)},
    {"create an existing folder", u"", Call::create, u"\\Wine", exists},
    {"create an existing folder in another case", u"", Call::create, u"wINE\\folder1", exists},
    {"create a task's name", u"", Call::create, u"Task", exists},
    {"create below a task", u"", Call::create, u"Task\\Sub", exists},
    {"create nested folders", u"", Call::create, u"\\A\\B\\C", S_OK, u"\\A\\B\\C"},
    {"create keeps the spelling on the way", u"", Call::create, u"WINE\\New", S_OK, u"\\Wine\\New"},
    {"create in a folder, itself", u"\\Wine", Call::create, u"", exists},
    {"create in a folder, a backslash", u"\\Wine", Call::create, u"\\", invalid_name},
    {"create in a folder, leading backslash", u"\\Wine", Call::create, u"\\Sub", S_OK, u"\\Wine\\Sub"},
    {"create in a relative folder", u"Wine", Call::create, u"Sub", S_OK, u"Wine\\Sub"},

    {"delete null name", u"", Call::remove, std::nullopt, E_ACCESSDENIED},
    {"delete empty name", u"", Call::remove, u"", E_ACCESSDENIED},
    {"delete the root", u"", Call::remove, u"\\", E_ACCESSDENIED},
    {"delete a slash", u"", Call::remove, u"/", invalid_name},
    {"delete a folder that is not empty", u"", Call::remove, u"\\Wine", HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY)},
    {"delete an empty folder", u"", Call::remove, u"wine\\FOLDER1", S_OK},
    {"delete a missing folder", u"", Call::remove, u"Missing", HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)},
    {"delete below a missing folder", u"", Call::remove, u"Missing\\Sub", HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND)},
    {"delete a task", u"", Call::remove, u"Task", HRESULT_FROM_WIN32(ERROR_DIRECTORY)},
    {"delete in a folder, leading backslash", u"\\Wine", Call::remove, u"\\Folder1", S_OK},
    {"delete in a folder, itself", u"\\Wine", Call::remove, u"", E_ACCESSDENIED},

    {"open in a relative folder, leading backslash", u"Wine", Call::open, u"\\Folder1", S_OK, u"Wine\\Folder1"},
    {"open in a relative folder", u"Wine", Call::open, u"Folder1", S_OK, u"Wine\\Folder1"},
    {"open a relative folder, itself", u"Wine", Call::open, u"", S_OK, u"Wine"},
    {"open a backslash in a folder", u"Wine", Call::open, u"\\", invalid_name},
    {"open null in a folder", u"Wine", Call::open, std::nullopt, E_INVALIDARG},
    {"open in a folder, leading backslash", u"\\Wine", Call::open, u"\\Folder1", S_OK, u"\\Wine\\Folder1"},
    {"open a relative nested folder", u"Wine\\Folder1", Call::open, u"", S_OK, u"Wine\\Folder1"},
};

class TaskFolders : public TaskServiceTest, public ::testing::WithParamInterface<FolderCase> {
protected:
    Ref<ITaskFolder> service_folder(std::u16string_view path) {
        Ref<ITaskFolder> folder;
        EXPECT_EQ(service_->GetFolder(path.empty() ? nullptr : Text(path).get(), folder.put()), S_OK);
        return folder;
    }
    HRESULT create(std::u16string_view path) {
        Ref<ITaskFolder> made;
        return root_->CreateFolder(Text(path).get(), VARIANT{}, made.put());
    }
    bool exists_folder(std::u16string_view path) {
        Ref<ITaskFolder> found;
        return service_->GetFolder(Text(path).get(), found.put()) == S_OK;
    }
};

TEST_P(TaskFolders, AnswersAsWindows) {
    const FolderCase& row = GetParam();
    ASSERT_EQ(create(u"\\Wine\\Folder1"), S_OK);
    ASSERT_EQ(register_task(u"Task"), S_OK);
    Ref<ITaskFolder> folder = service_folder(row.on);
    ASSERT_TRUE(folder);
    const Text name = row.name ? Text(*row.name) : Text::null();
    Ref<ITaskFolder> handed;
    VARIANT none{};
    none.vt = VT_NULL;
    switch (row.call) {
    case Call::create: EXPECT_EQ(folder->CreateFolder(name.get(), none, handed.put()), row.expected); break;
    case Call::remove: EXPECT_EQ(folder->DeleteFolder(name.get(), 0), row.expected); break;
    case Call::open: EXPECT_EQ(folder->GetFolder(name.get(), handed.put()), row.expected); break;
    }
    EXPECT_EQ(static_cast<bool>(handed), row.call != Call::remove && row.expected == S_OK);
    if (handed) {
        Bstr path;
        ASSERT_EQ(handed->get_Path(path.put()), S_OK);
        EXPECT_EQ(view(path), row.path);
        EXPECT_TRUE(exists_folder(row.path));
    }
    // What a refusal leaves is what was there; a deletion takes the folder, never the task.
    EXPECT_EQ(exists_folder(u"\\Wine\\Folder1"), !(row.call == Call::remove && row.expected == S_OK));
    EXPECT_EQ(get_task(u"Task"), S_OK);
    if (row.call == Call::create && row.expected != S_OK) {
        EXPECT_FALSE(exists_folder(u"\\New"));
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, TaskFolders, ::testing::ValuesIn(folder_cases),
                         [](const auto& info) {
                             std::string label = info.param.label;
                             for (char& c : label) if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return label;
                         });

TEST_F(TaskFolders, TakesADescriptorAsTextOnlyAndNoFlags) {
    VARIANT empty_text{};
    empty_text.vt = VT_BSTR;  // a null BSTR: no descriptor
    Ref<ITaskFolder> made;
    EXPECT_EQ(root_->CreateFolder(Text(u"A").get(), empty_text, made.put()), S_OK);
    const Text sddl(u"D:(A;;FA;;;BA)");
    VARIANT descriptor{};
    descriptor.vt = VT_BSTR;
    descriptor.bstrVal = sddl.get();
    EXPECT_EQ(root_->CreateFolder(Text(u"B").get(), descriptor, made.put()), S_OK);
    Bstr kept;
    EXPECT_EQ(made->GetSecurityDescriptor(0x4, kept.put()), S_OK);
    EXPECT_EQ(view(kept), u"D:(A;;FA;;;BA)");
    VARIANT number{};
    number.vt = VT_I4;
    EXPECT_EQ(root_->CreateFolder(Text(u"N").get(), number, made.put()), E_INVALIDARG);
    const Text malformed(u"D:(A;;FA;;;");
    descriptor.bstrVal = malformed.get();
    EXPECT_EQ(root_->CreateFolder(Text(u"N").get(), descriptor, made.put()), HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    EXPECT_FALSE(exists_folder(u"N"));
    // A null out pointer: made, nothing handed back.
    EXPECT_EQ(root_->CreateFolder(Text(u"C").get(), VARIANT{}, nullptr), S_OK);
    EXPECT_EQ(root_->DeleteFolder(Text(u"C").get(), 1), E_INVALIDARG);
    EXPECT_TRUE(exists_folder(u"C"));
}

// What an enumerator hands out, read back as paths.
std::vector<std::u16string> paths_of(const VARIANT* items, ULONG count) {
    std::vector<std::u16string> paths;
    for (ULONG i = 0; i < count; ++i) {
        EXPECT_EQ(items[i].vt, VT_DISPATCH);
        Ref<ITaskFolder> folder;
        EXPECT_EQ(items[i].pdispVal->QueryInterface(IID_ITaskFolder, folder.put_void()), S_OK);
        Bstr path;
        EXPECT_EQ(folder->get_Path(path.put()), S_OK);
        paths.emplace_back(view(path));
    }
    return paths;
}

TEST_F(TaskFolders, EnumeratorsWalkASnapshot) {
    for (const auto* path : {u"\\Wine\\Folder1", u"\\Wine\\Folder2"}) ASSERT_EQ(create(path), S_OK);
    Ref<ITaskFolderCollection> folders;
    ASSERT_EQ(service_folder(u"\\Wine")->GetFolders(0, folders.put()), S_OK);
    ASSERT_EQ(create(u"\\Wine\\Folder3"), S_OK);  // after the snapshot: not in it

    Ref<IEnumVARIANT> not_an_enumerator;
    EXPECT_EQ(query(folders, IID_IEnumVARIANT, not_an_enumerator), E_NOINTERFACE);
    EXPECT_EQ(folders->get__NewEnum(nullptr), E_POINTER);
    Ref<IUnknown> unknown;
    ASSERT_EQ(folders->get__NewEnum(unknown.put()), S_OK);
    Ref<IEnumVARIANT> walk;
    ASSERT_EQ(query(unknown, IID_IEnumVARIANT, walk), S_OK);
    Ref<IDispatch> no_dispatch;
    EXPECT_EQ(query(unknown, IID_IDispatch, no_dispatch), E_NOINTERFACE);

    EXPECT_EQ(walk->Skip(0), S_OK);
    EXPECT_EQ(walk->Skip(2), S_OK);
    EXPECT_EQ(walk->Skip(1), S_FALSE);
    ULONG fetched = 7;
    EXPECT_EQ(walk->Next(1, nullptr, &fetched), S_FALSE);  // at the end a null array is no error
    EXPECT_EQ(fetched, 0u);
    EXPECT_EQ(walk->Reset(), S_OK);
    EXPECT_EQ(walk->Next(1, nullptr, &fetched), E_POINTER);

    VARIANT items[3]{};
    ASSERT_EQ(walk->Next(1, items, &fetched), S_OK);
    EXPECT_EQ(paths_of(items, fetched), std::vector<std::u16string>{u"\\Wine\\Folder1"});
    Ref<IEnumVARIANT> clone;
    ASSERT_EQ(walk->Clone(clone.put()), S_OK);  // from where the original stands, on its own
    EXPECT_EQ(VariantClear(&items[0]), S_OK);
    ASSERT_EQ(walk->Next(3, items, &fetched), S_FALSE);
    EXPECT_EQ(paths_of(items, fetched), std::vector<std::u16string>{u"\\Wine\\Folder2"});
    EXPECT_EQ(VariantClear(&items[0]), S_OK);
    ASSERT_EQ(clone->Next(3, items, nullptr), S_FALSE);
    EXPECT_EQ(paths_of(items, 1), std::vector<std::u16string>{u"\\Wine\\Folder2"});
    EXPECT_EQ(VariantClear(&items[0]), S_OK);
    EXPECT_EQ(walk->Clone(nullptr), E_POINTER);
}

TEST_F(TaskFolders, TheTaskCollectionEnumeratesItsTasks) {
    for (const auto* name : {u"b", u"A"}) ASSERT_EQ(register_task(name), S_OK);
    Ref<IRegisteredTaskCollection> tasks;
    ASSERT_EQ(root_->GetTasks(0, tasks.put()), S_OK);
    Ref<IUnknown> unknown;
    ASSERT_EQ(tasks->get__NewEnum(unknown.put()), S_OK);
    Ref<IEnumVARIANT> walk;
    ASSERT_EQ(query(unknown, IID_IEnumVARIANT, walk), S_OK);
    VARIANT items[2]{};
    ULONG fetched = 0;
    ASSERT_EQ(walk->Next(2, items, &fetched), S_OK);
    std::vector<std::u16string> paths;
    for (VARIANT& item : items) {
        Ref<IRegisteredTask> task;
        ASSERT_EQ(item.pdispVal->QueryInterface(IID_IRegisteredTask, task.put_void()), S_OK);
        paths.push_back(path_of(task.get()));
        EXPECT_EQ(VariantClear(&item), S_OK);
    }
    EXPECT_EQ(paths, (std::vector<std::u16string>{u"\\A", u"\\b"}));
}

// Callers that make and delete the same folders, and register tasks inside them, all at once:
// every answer is one that a caller alone could get, and no registration is lost to a deletion.
TEST_F(TaskFolders, ConcurrentMakersAndDeletersLeaveAWholeLibrary) {
    constexpr int rounds = 150;
    std::atomic<int> unexpected{0};
    std::atomic<int> lost{0};
    const auto expect_one_of = [&](const char* call, HRESULT hr, std::initializer_list<HRESULT> allowed) {
        if (std::find(allowed.begin(), allowed.end(), hr) == allowed.end()) {
            ++unexpected;
            ADD_FAILURE() << call << " answered 0x" << std::hex << static_cast<unsigned long>(hr);
        }
    };
    const HRESULT not_found = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    const HRESULT path_missing = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);
    const HRESULT not_empty = HRESULT_FROM_WIN32(ERROR_DIR_NOT_EMPTY);
    std::vector<std::thread> callers;
    for (int caller = 0; caller < 2; ++caller) {
        callers.emplace_back([&] {
            const ThreadConnection connection;
            for (int round = 0; round < rounds; ++round) {
                Ref<ITaskFolder> made;
                expect_one_of("CreateFolder(A\\B)", connection.root()->CreateFolder(Text(u"A\\B").get(), VARIANT{}, made.put()),
                              {S_OK, exists});
                expect_one_of("DeleteFolder(A\\B)", connection.root()->DeleteFolder(Text(u"A\\B").get(), 0),
                              {S_OK, not_found, path_missing, not_empty});
                expect_one_of("DeleteFolder(A)", connection.root()->DeleteFolder(Text(u"A").get(), 0), {S_OK, not_found, not_empty});
            }
        });
    }
    callers.emplace_back([&] {
        const ThreadConnection connection;
        for (int round = 0; round < rounds; ++round) {
            if (const HRESULT registered = connection.register_task(Text(u"A\\B\\T"), Text(task_xml()));
                registered != S_OK) {
                ++unexpected;
                ADD_FAILURE() << "registration answered 0x" << std::hex << static_cast<unsigned long>(registered);
                continue;
            }
            Ref<IRegisteredTask> task;
            if (connection.root()->GetTask(Text(u"A\\B\\T").get(), task.put()) != S_OK) ++lost;
            task.reset();
            expect_one_of("DeleteTask(A\\B\\T)", connection.root()->DeleteTask(Text(u"A\\B\\T").get(), 0), {S_OK});
        }
    });
    for (std::thread& caller : callers) caller.join();
    EXPECT_EQ(unexpected.load(), 0);
    EXPECT_EQ(lost.load(), 0);
    // Whatever is left goes with two deletions: nothing stray stays in the library.
    root_->DeleteFolder(Text(u"A\\B").get(), 0);
    root_->DeleteFolder(Text(u"A").get(), 0);
    EXPECT_EQ(task_entries_under(library_), std::vector<std::string>{});
}

// Whether the open descriptor is the directory that `path` names now.
bool is_directory_at(int descriptor, const std::filesystem::path& path) {
    struct stat held {}, named {};
    return fstat(descriptor, &held) == 0 && stat(path.c_str(), &named) == 0 && held.st_dev == named.st_dev &&
           held.st_ino == named.st_ino;
}

// A registration walking down to its task's folder takes each folder's lock before it lets go of
// the one above, whether it finds the folder or makes it: no deletion, which takes the folder's
// lock, can come between, however the callers interleave.
TEST_F(TaskFolders, ARegistrationHoldsEachFolderBeforeLettingGoOfTheOneAbove) {
    const struct {
        const char* label;
        const char16_t* there_before;
    } cases[] = {{"into a folder that is there", u"A\\B"}, {"into a folder it makes", u"A"}};
    for (const auto& each : cases) {
        SCOPED_TRACE(each.label);
        ASSERT_EQ(root_->CreateFolder(Text(each.there_before).get(), VARIANT{}, nullptr), S_OK);
        const std::filesystem::path parent = library_ / "d.A";
        const std::thread::id registering = std::this_thread::get_id();
        int parent_released = 0;
        int folder_free = 0;
        const LockReleaseHook look([&](int released) {
            if (std::this_thread::get_id() != registering || !is_directory_at(released, parent)) return;
            ++parent_released;
            // Closing the probe lets go of its lock, if it got one.
            const int probe = open((parent / "d.B").c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            if (probe >= 0 && flock(probe, LOCK_EX | LOCK_NB) == 0) ++folder_free;
            if (probe >= 0) close(probe);
        });
        EXPECT_EQ(register_task(u"A\\B\\T"), S_OK);
        EXPECT_GT(parent_released, 0);
        EXPECT_EQ(folder_free, 0);
        ASSERT_EQ(root_->DeleteTask(Text(u"A\\B\\T").get(), 0), S_OK);
        ASSERT_EQ(root_->DeleteFolder(Text(u"A\\B").get(), 0), S_OK);
        ASSERT_EQ(root_->DeleteFolder(Text(u"A").get(), 0), S_OK);
    }
}

// A registration that fails once it made A\B takes back the folder it made, and only that one:
// when another caller deleted it and made A\B again meanwhile, that folder stays, with its
// descriptor.
TEST_F(TaskFolders, AFailedRegistrationTakesBackOnlyTheFolderItMade) {
    constexpr LONG dacl_only = 0x4;  // DACL_SECURITY_INFORMATION
    ASSERT_EQ(root_->CreateFolder(Text(u"A").get(), VARIANT{}, nullptr), S_OK);
    const std::filesystem::path made = library_ / "d.A" / "d.B";
    const std::thread::id registering = std::this_thread::get_id();
    std::optional<std::u16string> theirs;
    const LockReleaseHook between([&](int released) {
        // When the registration lets go of the folder it made, before it takes the folder back.
        if (theirs || std::this_thread::get_id() != registering || !is_directory_at(released, made)) return;
        theirs = u"";
        std::thread([&] {
            const ThreadConnection other;
            EXPECT_EQ(other.root()->DeleteFolder(Text(u"A\\B").get(), 0), S_OK);
            const Text sddl(u"D:(A;;GA;;;WD)");
            VARIANT given{};
            given.vt = VT_BSTR;
            given.bstrVal = sddl.get();
            Ref<ITaskFolder> folder;
            ASSERT_EQ(other.root()->CreateFolder(Text(u"A\\B").get(), given, folder.put()), S_OK);
            Bstr kept;
            ASSERT_EQ(folder->GetSecurityDescriptor(dacl_only, kept.put()), S_OK);
            theirs = std::u16string(view(kept));
        }).join();
    });
    // An update of a task that is not there fails after its folder is made.
    Ref<IRegisteredTask> task;
    EXPECT_EQ(root_->RegisterTask(Text(u"A\\B\\T").get(), Text(task_xml()).get(), TASK_UPDATE, VARIANT{}, VARIANT{},
                                  TASK_LOGON_INTERACTIVE_TOKEN, VARIANT{}, task.put()),
              HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND));
    ASSERT_TRUE(theirs.has_value());
    Ref<ITaskFolder> folder;
    ASSERT_EQ(root_->GetFolder(Text(u"A\\B").get(), folder.put()), S_OK);
    Bstr kept;
    ASSERT_EQ(folder->GetSecurityDescriptor(dacl_only, kept.put()), S_OK);
    EXPECT_EQ(view(kept), *theirs);
}

}  // namespace
