// task_names_test.cpp: task names as the service reads them: codes, case, spelling, folders.
#include <fstream>
#include <string>
#include <vector>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

const HRESULT invalid_name = HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
const HRESULT too_long = HRESULT_FROM_WIN32(ERROR_FILENAME_EXCED_RANGE);
const HRESULT no_task = HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
const HRESULT no_folder = HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND);

struct NameCase {
    std::u16string name;
    HRESULT get;       // GetTask in an empty library
    HRESULT reg;       // RegisterTask (create or update)
};

class TaskNames : public TaskServiceTest {};

TEST_F(TaskNames, RefusedAndAcceptedNames) {
    const std::u16string long_element(255, u'x');
    std::u16string many_elements;  // two million units of one-character folders
    for (int i = 0; i < 1000000; ++i) many_elements += u"a\\";
    many_elements += u"a";
    const NameCase cases[] = {
        {u"Backup", no_task, S_OK},
        {u"\\Backup", no_task, S_OK},
        {u"a\\b", no_folder, S_OK},
        {u"\\a\\b\\c", no_folder, S_OK},
        {u"with space . and dots..", no_task, S_OK},
        {u"\xD83D\xDE00 emoji", no_task, S_OK},
        {u"%2e%2e", no_task, S_OK},
        {long_element, no_task, S_OK},
        {u"\\", E_INVALIDARG, E_INVALIDARG},
        {u".", invalid_name, invalid_name},
        {u"..", invalid_name, invalid_name},
        {u"a\\..\\b", invalid_name, invalid_name},
        {u"..\\x", invalid_name, invalid_name},
        {u"a\\.", invalid_name, invalid_name},
        {u"a\\", invalid_name, invalid_name},
        {u"a\\\\b", invalid_name, invalid_name},
        {u"\\\\a", invalid_name, invalid_name},
        {u"/etc/passwd", invalid_name, invalid_name},
        {u" leading space", invalid_name, invalid_name},
        {u"trailing space ", invalid_name, invalid_name},
        {u"folder \\x", invalid_name, invalid_name},
        {u"a:b", invalid_name, invalid_name},
        {u"a<b", invalid_name, invalid_name},
        {u"a>b", invalid_name, invalid_name},
        {u"a\"b", invalid_name, invalid_name},
        {u"a|b", invalid_name, invalid_name},
        {u"a?b", invalid_name, invalid_name},
        {u"a*b", invalid_name, invalid_name},
        {u"tab\there", invalid_name, invalid_name},
        {std::u16string(u"nul\0inside", 10), invalid_name, invalid_name},
        {u"lone \xD800 high", invalid_name, invalid_name},
        {u"lone \xDC00 low", invalid_name, invalid_name},
        {long_element + u"y", too_long, too_long},
        {u"fresh\\" + std::u16string(250, u'x'), no_folder, S_OK},
        {u"fresh\\" + long_element, too_long, too_long},  // the whole path is over 260
        {long_element + u"\\" + long_element, too_long, too_long},
        {many_elements, too_long, too_long},
    };
    for (const NameCase& c : cases) {
        const std::string label = testing::PrintToString(c.name);
        EXPECT_EQ(get_task(c.name), c.get) << label;
        // The root is a folder that is never deleted: Windows 7 and later answer E_ACCESSDENIED.
        EXPECT_EQ(delete_task(c.name), c.name == u"\\" ? E_ACCESSDENIED : c.get) << label;
        EXPECT_EQ(register_task(c.name), c.reg) << label;
        if (SUCCEEDED(c.reg)) {
            EXPECT_EQ(get_task(c.name), S_OK) << label;
            EXPECT_EQ(delete_task(c.name), S_OK) << label;
            EXPECT_EQ(get_task(c.name), no_task) << label;
        }
    }
}

TEST_F(TaskNames, EmptyNamesAndNullArguments) {
    EXPECT_EQ(get_task(Text::null()), E_INVALIDARG);
    EXPECT_EQ(root_->DeleteTask(nullptr, 0), E_ACCESSDENIED);  // names the root folder itself
    EXPECT_EQ(root_->GetTask(Text(u"x").get(), nullptr), E_POINTER);

    VARIANT empty{};
    const Text name(u"x");
    EXPECT_EQ(root_->RegisterTask(name.get(), nullptr, TASK_CREATE_OR_UPDATE, empty, empty,
                                  TASK_LOGON_INTERACTIVE_TOKEN, empty, nullptr),
              HRESULT_FROM_WIN32(1780));  // RPC_X_NULL_REF_POINTER, as for any null [in] reference
    // A null out pointer is allowed: the task is registered, nothing is handed back.
    const Text xml(task_xml());
    EXPECT_EQ(root_->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                  TASK_LOGON_INTERACTIVE_TOKEN, empty, nullptr),
              S_OK);
    EXPECT_EQ(get_task(u"x"), S_OK);
}

TEST_F(TaskNames, NullNameRegistersAGuidNamedTaskInTheRoot) {
    Ref<IRegisteredTask> task;
    ASSERT_EQ(register_task(Text::null(), task_xml(), TASK_CREATE_OR_UPDATE, &task), S_OK);
    const std::u16string path = path_of(task.get());
    ASSERT_EQ(path.size(), 39u) << testing::PrintToString(path);
    EXPECT_EQ(path.substr(0, 2), u"\\{");
    EXPECT_EQ(path.back(), u'}');
    for (std::size_t i : {10u, 15u, 20u, 25u}) EXPECT_EQ(path[i], u'-');
    for (char16_t unit : path.substr(2, 36))
        EXPECT_TRUE(unit == u'-' || (unit >= u'0' && unit <= u'9') || (unit >= u'A' && unit <= u'F'));
    EXPECT_EQ(get_task(path), S_OK);
}

TEST_F(TaskNames, MatchCaseInsensitivelyAndKeepTheFirstSpelling) {
    Ref<IRegisteredTask> task;
    ASSERT_EQ(register_task(u"Reports\\Nightly Backup", task_xml(), TASK_CREATE_OR_UPDATE, &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\Reports\\Nightly Backup");

    ASSERT_EQ(get_task(u"REPORTS\\nightly backup", &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\Reports\\Nightly Backup");
    Bstr name;
    ASSERT_EQ(task->get_Name(name.put()), S_OK);
    EXPECT_EQ(view(name), u"Nightly Backup");

    // Replacing under another spelling keeps the first one; a new task in the folder keeps the
    // folder's spelling.
    ASSERT_EQ(register_task(u"reports\\NIGHTLY BACKUP", task_xml(u"/bin/echo"), TASK_CREATE_OR_UPDATE, &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\Reports\\Nightly Backup");
    ASSERT_EQ(register_task(u"REPORTS\\Weekly", task_xml(), TASK_CREATE_OR_UPDATE, &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\Reports\\Weekly");

    // Beyond ASCII: folded per UTF-16 unit.
    ASSERT_EQ(register_task(u"\u00E9t\u00E9 \u03A3\u03C3", task_xml()), S_OK);
    EXPECT_EQ(get_task(u"\u00C9T\u00C9 \u03A3\u03A3"), S_OK);
    EXPECT_EQ(get_task(u"ETE"), no_task);
    EXPECT_EQ(delete_task(u"\u00C9t\u00E9 \u03C3\u03C3"), S_OK);
    EXPECT_EQ(get_task(u"\u00E9t\u00E9 \u03A3\u03C3"), no_task);
}

// The file names an element takes on disk are what a library already holds: a lookup, its run
// state and a registration under any spelling must meet the files written before.
TEST_F(TaskNames, ElementsKeepTheirOnDiskNames) {
    struct Layout {
        std::u16string registered;
        std::u16string looked_up;
        std::string definition;  // relative to the library
    };
    const Layout layouts[] = {
        {u"Nightly Backup", u"NIGHTLY backup", "t.NIGHTLY~20BACKUP"},
        {u"Reports\\\u00E9t\u00E9", u"REPORTS\\\u00C9T\u00C9", "d.REPORTS/t.\xC3\x89T\xC3\x89"},
        {u"\u03A3\u03C3", u"\u03C3\u03C3", "t.\xCE\xA3\xCE\xA3"},
        {u"\xD835\xDC9C~", u"\xD835\xDC9C~", "t.\xF0\x9D\x92\x9C~7E"},  // a surrogate pair, then '~'
        {u"Fresh\\" + std::u16string(250, u'x'), u"fresh\\" + std::u16string(250, u'X'),
         "d.FRESH/c." + std::string(240, 'X') + "/t." + std::string(10, 'X')},
    };
    for (const Layout& layout : layouts) {
        SCOPED_TRACE(layout.definition);
        ASSERT_EQ(register_task(layout.registered), S_OK);
        EXPECT_TRUE(std::filesystem::is_regular_file(library_ / layout.definition));
        Ref<IRegisteredTask> task;
        ASSERT_EQ(get_task(layout.looked_up, &task), S_OK);
        TASK_STATE state = TASK_STATE_UNKNOWN;
        EXPECT_EQ(task->get_State(&state), S_OK);
        EXPECT_EQ(state, TASK_STATE_READY);
        EXPECT_EQ(register_task(layout.looked_up, task_xml(), TASK_UPDATE), S_OK);
        EXPECT_EQ(delete_task(layout.looked_up), S_OK);
        EXPECT_FALSE(std::filesystem::exists(library_ / layout.definition));
    }
}

TEST_F(TaskNames, TasksAndFoldersDoNotShareNames) {
    ASSERT_EQ(register_task(u"Folder\\Task"), S_OK);
    EXPECT_EQ(register_task(u"folder"), E_ACCESSDENIED);  // a folder has that name
    EXPECT_EQ(get_task(u"Folder"), no_folder);             // as Windows 8 and later answer
    EXPECT_EQ(get_task(u"Folder\\Task"), S_OK);

    ASSERT_EQ(register_task(u"Plain"), S_OK);
    EXPECT_EQ(register_task(u"plain\\Inner"), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));  // a task has it
    EXPECT_EQ(get_task(u"Plain\\Inner"), no_folder);
    EXPECT_EQ(get_task(u"Plain"), S_OK);
}

// DeleteTask deletes a task or an empty folder; a null or empty name given to a folder other
// than the root names that folder.
TEST_F(TaskNames, DeleteTaskTakesEmptyFolders) {
    ASSERT_EQ(register_task(u"Folder\\Task"), S_OK);
    ASSERT_EQ(register_task(u"Folder\\Inner\\Task"), S_OK);
    EXPECT_EQ(delete_task(u"Folder"), HRESULT_FROM_WIN32(145));  // ERROR_DIR_NOT_EMPTY
    EXPECT_EQ(delete_task(u"folder\\inner\\task"), S_OK);
    EXPECT_EQ(delete_task(u"Folder\\Task"), S_OK);
    EXPECT_EQ(delete_task(u"Folder"), HRESULT_FROM_WIN32(145));  // Inner is still there

    Ref<ITaskFolder> inner;
    ASSERT_EQ(root_->GetFolder(Text(u"Folder\\Inner").get(), inner.put()), S_OK);
    EXPECT_EQ(inner->DeleteTask(nullptr, 0), S_OK);
    EXPECT_EQ(root_->GetFolder(Text(u"Folder\\Inner").get(), inner.put()), no_task);
    EXPECT_EQ(delete_task(u"\\FOLDER"), S_OK);
    EXPECT_EQ(delete_task(u"Folder"), no_task);
    EXPECT_EQ(delete_task(u"Folder\\Task"), no_folder);
    EXPECT_EQ(register_task(u"Folder\\Task"), S_OK);  // made again from nothing
}

TEST_F(TaskNames, CreationFlags) {
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_UPDATE), no_task);
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_VALIDATE_ONLY), S_OK);
    EXPECT_EQ(get_task(u"t"), no_task);
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_CREATE), S_OK);
    EXPECT_EQ(register_task(u"T", task_xml(), TASK_CREATE), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));
    EXPECT_EQ(register_task(u"T", task_xml(), TASK_UPDATE), S_OK);
    EXPECT_EQ(register_task(u"t", task_xml(), 0), HRESULT_FROM_WIN32(ERROR_ALREADY_EXISTS));  // 0 creates
    EXPECT_EQ(register_task(u"new", task_xml(), 0), S_OK);
    EXPECT_EQ(register_task(u"Folder", task_xml(), TASK_VALIDATE_ONLY), S_OK);  // the name is not looked up
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_DISABLE | TASK_CREATE_OR_UPDATE), S_OK);  // task_xml_test.cpp
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_VALIDATE_ONLY | TASK_UPDATE), E_INVALIDARG);
    // Bits Windows does not define are ignored by the service, whatever they are.
    EXPECT_EQ(register_task(u"u", task_xml(), 0x1000 | TASK_UPDATE), no_task);
    EXPECT_EQ(register_task(u"u", task_xml(), static_cast<LONG>(0xFFFFFFC0u) | TASK_CREATE), S_OK);
    EXPECT_EQ(register_task(u"t", task_xml(), TASK_CREATE_OR_UPDATE | TASK_DONT_ADD_PRINCIPAL_ACE), S_OK);
}

TEST_F(TaskNames, FoldersOpenRelativeAndAbsolute) {
    ASSERT_EQ(register_task(u"One\\Two\\Task"), S_OK);
    Ref<ITaskFolder> one;
    ASSERT_EQ(root_->GetFolder(Text(u"one").get(), one.put()), S_OK);
    Bstr text;
    ASSERT_EQ(one->get_Path(text.put()), S_OK);
    EXPECT_EQ(view(text), u"\\One");
    ASSERT_EQ(one->get_Name(text.put()), S_OK);
    EXPECT_EQ(view(text), u"One");

    Ref<IRegisteredTask> task;
    ASSERT_EQ(one->GetTask(Text(u"TWO\\task").get(), task.put()), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\One\\Two\\Task");
    EXPECT_EQ(one->GetTask(Text(u"\\One\\Two\\Task").get(), task.put()), S_OK);
    EXPECT_EQ(one->GetTask(Text(u"Task").get(), task.put()), no_task);

    Ref<ITaskFolder> folder;
    EXPECT_EQ(one->GetFolder(Text(u"Two").get(), folder.put()), S_OK);
    EXPECT_EQ(service_->GetFolder(Text(u"\\one\\two").get(), folder.put()), S_OK);
    EXPECT_EQ(service_->GetFolder(Text(u"\\Missing").get(), folder.put()), no_task);
    EXPECT_EQ(service_->GetFolder(Text(u"\\Missing\\Deeper").get(), folder.put()), no_folder);
    EXPECT_EQ(service_->GetFolder(Text(u"\\One\\Two\\Task").get(), folder.put()), no_task);
    EXPECT_EQ(service_->GetFolder(Text(u"a\\..").get(), folder.put()), invalid_name);
    EXPECT_FALSE(folder);
    // A folder's own GetFolder wants a path: none is E_INVALIDARG, "" is the folder, "\" nothing.
    EXPECT_EQ(one->GetFolder(nullptr, folder.put()), E_INVALIDARG);
    EXPECT_EQ(one->GetFolder(Text(u"\\").get(), folder.put()), invalid_name);
    ASSERT_EQ(one->GetFolder(Text(u"").get(), folder.put()), S_OK);
    ASSERT_EQ(folder->get_Path(text.put()), S_OK);
    EXPECT_EQ(view(text), u"\\One");
    // Only the root makes up a name for a task registered without one.
    VARIANT empty{};
    Ref<IRegisteredTask> unnamed;
    EXPECT_EQ(one->RegisterTask(nullptr, Text(task_xml()).get(), TASK_CREATE, empty, empty, TASK_LOGON_NONE, empty,
                                unnamed.put()),
              E_INVALIDARG);
    ASSERT_EQ(root_->get_Path(text.put()), S_OK);
    EXPECT_EQ(view(text), u"\\");
}

TEST_F(TaskNames, HostileNamesNeverLeaveTheLibrary) {
    const std::vector<std::u16string> hostile = {
        u"..\\x", u"a\\..\\..\\x", u"/etc/passwd", u"..", u"...", u"~2E~2E", u"%2e%2e\\%2e%2e",
        std::u16string(u"x\0/../y", 7), u"\\..\\..\\escape", u"C:\\Windows", u"\\\\server\\share",
        u"\u2024\u2024", u"\uFF0E\uFF0E\\x", u"\u0130stanbul", u"\u0131", u"K\u212A", u"\u017Ft",
        std::u16string(300, u'.'), std::u16string(255, u'\u00E9'), std::u16string(200, u'\\'),
        u"a\\" + std::u16string(255, u'~'), std::u16string(128, u'\xD83D') + std::u16string(127, u'\xDE00'),
    };
    const auto outside_before = entries_under(sandbox_);
    for (const auto& name : hostile) {
        register_task(name);
        get_task(name);
        Ref<ITaskFolder> folder;
        service_->GetFolder(Text(name).get(), folder.put());
        delete_task(name);
        winemu_runs("..\\x", nullptr, 0);
    }
    // Whatever was created lies inside the library.
    for (const std::string& entry : entries_under(sandbox_)) {
        const bool inside = entry == "library" || entry.rfind("library/", 0) == 0;
        EXPECT_TRUE(inside) << entry;
    }
    EXPECT_TRUE(outside_before.empty() || outside_before == std::vector<std::string>{"library"});
    // And every name that was accepted still round-trips to its own task.
    ASSERT_EQ(register_task(u"\u0130stanbul"), S_OK);
    ASSERT_EQ(register_task(u"\u0131"), S_OK);
    Ref<IRegisteredTask> task;
    ASSERT_EQ(get_task(u"\u0130STANBUL", &task), S_OK);
    EXPECT_EQ(path_of(task.get()), u"\\\u0130stanbul");
}

TEST_F(TaskNames, SymlinksInsideTheLibraryAreNeverFollowed) {
    // Symlinks to a directory outside, put where a folder, a task and a piece of a long name go.
    const std::filesystem::path outside = sandbox_ / "outside";
    std::filesystem::create_directories(outside);
    const std::string secret = "\\Secret\n<Task/>";
    { std::ofstream(outside / "t.SECRET") << secret; }
    { std::ofstream(outside / "r.SECRET") << "{\"time\": 1.0, \"argv\": [\"x\"], \"pid\": null, \"error\": null}\n"; }
    ASSERT_EQ(register_task(u"Seed"), S_OK);
    ASSERT_EQ(symlink(outside.c_str(), (library_ / "d.LINKED").c_str()), 0);
    ASSERT_EQ(symlink((outside / "t.SECRET").c_str(), (library_ / "t.SECRET").c_str()), 0);
    const std::u16string long_name(100, u'\u20AC');  // escaped: a first piece of 80 characters
    std::string piece = "c.";
    for (int i = 0; i < 80; ++i) piece += "\xE2\x82\xAC";
    ASSERT_EQ(symlink(outside.c_str(), (library_ / piece).c_str()), 0);
    const auto outside_before = entries_under(outside);

    EXPECT_EQ(get_task(u"Linked\\Secret"), no_folder);
    EXPECT_EQ(delete_task(u"Linked\\Secret"), no_folder);
    EXPECT_EQ(register_task(u"Linked\\Planted"), E_ACCESSDENIED);
    EXPECT_EQ(register_task(u"Linked\\Deeper\\Planted"), E_ACCESSDENIED);
    Ref<ITaskFolder> folder;
    EXPECT_EQ(service_->GetFolder(Text(u"\\Linked").get(), folder.put()), no_task);
    EXPECT_EQ(winemu_runs("Linked\\Secret", nullptr, 0), 2u);  // "[]"
    EXPECT_EQ(get_task(long_name), no_task);
    EXPECT_EQ(register_task(long_name), E_ACCESSDENIED);
    // A symlink where a task's file goes is refused alike by every call (task_store_test.cpp).
    EXPECT_EQ(get_task(u"Secret"), E_ACCESSDENIED);
    EXPECT_EQ(register_task(u"Secret"), E_ACCESSDENIED);

    EXPECT_EQ(entries_under(outside), outside_before);
    EXPECT_EQ(read_file(outside / "t.SECRET"), secret);
}

TEST_F(TaskNames, ALibraryWithOddCharactersReachedThroughASymlink) {
    const std::filesystem::path odd = sandbox_ / "odd \n %TEMP% \xFF \xC3\xBC" / "..tasks";
    std::filesystem::create_directories(odd);
    ASSERT_EQ(symlink(odd.c_str(), (sandbox_ / "link").c_str()), 0);
    ASSERT_EQ(winemu_set_task_library(((sandbox_ / "link").string() + "//").c_str()), 0);
    {
        const ThreadConnection connection;
        ASSERT_NE(connection.root(), nullptr);
        EXPECT_EQ(connection.register_task(Text(u"Folder\\Task"), Text(task_xml())), S_OK);
        Ref<IRegisteredTask> task;
        EXPECT_EQ(connection.root()->GetTask(Text(u"folder\\task").get(), task.put()), S_OK);
        EXPECT_TRUE(std::filesystem::is_directory(odd / "d.FOLDER"));
        EXPECT_EQ(connection.root()->DeleteTask(Text(u"Folder\\Task").get(), 0), S_OK);
    }
    ASSERT_EQ(winemu_set_task_library(library_.c_str()), 0);
}

TEST_F(TaskNames, ServiceConnectionRules) {
    Ref<ITaskService> fresh;
    ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                               reinterpret_cast<void**>(fresh.put())),
              S_OK);
    Ref<ITaskFolder> folder;
    EXPECT_EQ(fresh->GetFolder(Text(u"\\").get(), folder.put()), HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED));
    EXPECT_EQ(fresh->GetFolder(Text(u"\\").get(), nullptr), E_POINTER);
    VARIANT_BOOL connected = VARIANT_TRUE;
    ASSERT_EQ(fresh->get_Connected(&connected), S_OK);
    EXPECT_EQ(connected, VARIANT_FALSE);

    VARIANT empty{};
    VARIANT server{};
    server.vt = VT_BSTR;
    const Text far_away(u"far-away-server");
    server.bstrVal = far_away.get();
    EXPECT_EQ(fresh->Connect(server, empty, empty, empty), HRESULT_FROM_WIN32(1722));  // RPC_S_SERVER_UNAVAILABLE
    Bstr server_name;
    EXPECT_EQ(fresh->get_TargetServer(server_name.put()), HRESULT_FROM_WIN32(ERROR_ONLY_IF_CONNECTED));
    EXPECT_EQ(fresh->get_TargetServer(nullptr), E_POINTER);
    const Text local(u"localhost");
    server.bstrVal = local.get();
    EXPECT_EQ(fresh->Connect(server, empty, empty, empty), S_OK);
    ASSERT_EQ(fresh->get_Connected(&connected), S_OK);
    EXPECT_EQ(connected, VARIANT_TRUE);
    EXPECT_EQ(fresh->GetFolder(nullptr, folder.put()), S_OK);  // no path: the root

    // Every object answers IUnknown, IDispatch and its own interface only.
    Ref<IUnknown> unknown;
    Ref<IDispatch> dispatch;
    Ref<ITaskFolder> not_a_folder;
    EXPECT_EQ(query(fresh, IID_IUnknown, unknown), S_OK);
    EXPECT_EQ(query(folder, IID_IDispatch, dispatch), S_OK);
    EXPECT_EQ(query(fresh, IID_ITaskFolder, not_a_folder), E_NOINTERFACE);
    EXPECT_FALSE(not_a_folder);
    EXPECT_EQ(fresh->QueryInterface(IID_IUnknown, nullptr), E_POINTER);
}

}  // namespace
