// task_listing_test.cpp: GetTasks and GetFolders: order, hidden tasks, subfolders, damaged tasks, indexes.
#include <fstream>

#include "task_test_support.hpp"

namespace {

using namespace winemu_test;

VARIANT integer_index(VARTYPE type, long long value) {
    VARIANT index{};
    index.vt = type;
    index.llVal = value;  // the low bytes hold it for every smaller type
    return index;
}

class TaskListing : public TaskServiceTest {
protected:
    // The names of the tasks a folder lists, in its order, through Count and Item.
    std::vector<std::u16string> task_names(ITaskFolder* folder, LONG flags = 0) {
        Ref<IRegisteredTaskCollection> tasks;
        EXPECT_EQ(folder->GetTasks(flags, tasks.put()), S_OK);
        return names_of(tasks.get());
    }
    template <typename Collection>
    static std::vector<std::u16string> names_of(Collection* collection) {
        std::vector<std::u16string> names;
        LONG count = -1;
        EXPECT_EQ(collection->get_Count(&count), S_OK);
        for (LONG i = 1; i <= count; ++i) {
            Ref<std::remove_pointer_t<decltype(item_type(collection))>> item;
            EXPECT_EQ(collection->get_Item(integer_index(VT_I4, i), item.put()), S_OK);
            Bstr path;
            EXPECT_EQ(item->get_Path(path.put()), S_OK);
            names.emplace_back(view(path));
        }
        return names;
    }
    static IRegisteredTask* item_type(IRegisteredTaskCollection*);
    static ITaskFolder* item_type(ITaskFolderCollection*);

    Ref<ITaskFolder> folder(std::u16string_view path) {
        Ref<ITaskFolder> found;
        EXPECT_EQ(service_->GetFolder(Text(path).get(), found.put()), S_OK);
        return found;
    }
};

TEST_F(TaskListing, TasksComeSortedByNameWithHiddenOnesOnRequest) {
    const std::u16string long_name(200, u'\u00e9');  // long enough to be split over several file names
    for (const std::u16string name : {u"b", u"A", u"c", u"Sub\\Inner"}) ASSERT_EQ(register_task(name), S_OK);
    ASSERT_EQ(register_task(long_name), S_OK);
    ASSERT_EQ(register_task(u"Quiet", task_xml(u"/bin/true", u"", u"<Hidden>true</Hidden>")), S_OK);
    EXPECT_EQ(task_names(root_.get()), (std::vector<std::u16string>{u"\\A", u"\\b", u"\\c", u"\\" + long_name}));
    EXPECT_EQ(task_names(root_.get(), TASK_ENUM_HIDDEN),
              (std::vector<std::u16string>{u"\\A", u"\\b", u"\\c", u"\\Quiet", u"\\" + long_name}));
    EXPECT_EQ(task_names(folder(u"\\sub").get()), (std::vector<std::u16string>{u"\\Sub\\Inner"}));
    Ref<IRegisteredTaskCollection> tasks;
    EXPECT_EQ(root_->GetTasks(2, tasks.put()), E_INVALIDARG);
    EXPECT_EQ(root_->GetTasks(0, nullptr), E_POINTER);
}

TEST_F(TaskListing, FoldersListTheirSubfoldersInTheirSpelling) {
    for (const auto* name : {u"Zeta\\T", u"alpha\\Beta\\T", u"alpha\\T"}) ASSERT_EQ(register_task(name), S_OK);
    Ref<ITaskFolderCollection> folders;
    ASSERT_EQ(root_->GetFolders(0, folders.put()), S_OK);
    EXPECT_EQ(names_of(folders.get()), (std::vector<std::u16string>{u"\\alpha", u"\\Zeta"}));
    // A folder opened by a relative path keeps it: so do its subfolders.
    ASSERT_EQ(folder(u"ALPHA")->GetFolders(TASK_ENUM_HIDDEN, folders.put()), S_OK);
    EXPECT_EQ(names_of(folders.get()), (std::vector<std::u16string>{u"alpha\\Beta"}));
    ASSERT_EQ(folder(u"\\ALPHA")->GetFolders(0, folders.put()), S_OK);
    EXPECT_EQ(names_of(folders.get()), (std::vector<std::u16string>{u"\\alpha\\Beta"}));
    // An empty folder, and a fresh library whose root has no directory yet.
    ASSERT_EQ(delete_task(u"Zeta\\T"), S_OK);
    EXPECT_EQ(task_names(folder(u"Zeta").get()), std::vector<std::u16string>{});
    ASSERT_EQ(winemu_set_task_library((sandbox_ / "never made").c_str()), 0);
    folders.reset();
    on_fresh_thread([&] {  // a connection made since, to that library
        const ThreadConnection connection;
        EXPECT_EQ(task_names(connection.root()), std::vector<std::u16string>{});
        Ref<ITaskFolderCollection> none;
        ASSERT_EQ(connection.root()->GetFolders(0, none.put()), S_OK);
        EXPECT_EQ(names_of(none.get()), std::vector<std::u16string>{});
    });
}

TEST_F(TaskListing, ADamagedTaskIsListedAndTheOthersStill) {
    for (const auto* name : {u"Good", u"Truncated", u"Mov\u00e9d"}) ASSERT_EQ(register_task(name), S_OK);
    { std::ofstream(library_ / "t.TRUNCATED", std::ios::trunc) << "\\Truncated\n<Task"; }
    { std::ofstream(library_ / "t.MOV\xC3\x89" "D", std::ios::trunc) << "\\Elsewhere\n"; }
    std::filesystem::create_symlink(library_ / "t.GOOD", library_ / "t.LINK");  // not the library's own
    // A name whose file lost its spelling is listed in the folded spelling its file name keeps.
    EXPECT_EQ(task_names(root_.get()), (std::vector<std::u16string>{u"\\Good", u"\\MOV\u00c9D", u"\\Truncated"}));
}

TEST_F(TaskListing, ItemsAreFoundByPositionOrNameWithinTheSnapshot) {
    ASSERT_EQ(register_task(u"One"), S_OK);
    ASSERT_EQ(register_task(u"Two"), S_OK);
    Ref<IRegisteredTaskCollection> tasks;
    ASSERT_EQ(root_->GetTasks(0, tasks.put()), S_OK);
    ASSERT_EQ(register_task(u"Three"), S_OK);  // after the snapshot
    const Text two(u"tWO");
    const Text three(u"Three");
    VARIANT by_name{};
    by_name.vt = VT_BSTR;
    const struct {
        const char* what;
        VARIANT index;
        BSTR name;
        HRESULT hr;
    } cases[] = {
        {"first", integer_index(VT_I4, 1), nullptr, S_OK},
        {"last", integer_index(VT_I4, 2), nullptr, S_OK},
        {"zero", integer_index(VT_I4, 0), nullptr, E_INVALIDARG},
        {"past the end", integer_index(VT_I4, 3), nullptr, E_INVALIDARG},
        {"negative", integer_index(VT_I4, -1), nullptr, E_INVALIDARG},
        {"VT_I1", integer_index(VT_I1, 1), nullptr, S_OK},
        {"VT_UI2", integer_index(VT_UI2, 2), nullptr, S_OK},
        {"VT_I8", integer_index(VT_I8, 2), nullptr, S_OK},
        {"VT_UINT", integer_index(VT_UINT, 1), nullptr, S_OK},
        {"VT_UI8 too large", integer_index(VT_UI8, 1ll << 40), nullptr, E_INVALIDARG},
        {"a name in another case", by_name, two.get(), S_OK},
        {"a name registered since", by_name, three.get(), E_INVALIDARG},
        {"no index", VARIANT{}, nullptr, E_INVALIDARG},
    };
    for (auto c : cases) {
        SCOPED_TRACE(c.what);
        if (c.name) c.index.bstrVal = c.name;
        Ref<IRegisteredTask> task;
        EXPECT_EQ(tasks->get_Item(c.index, task.put()), c.hr);
        EXPECT_EQ(static_cast<bool>(task), c.hr == S_OK);
    }
    LONG count = 0;
    EXPECT_EQ(tasks->get_Count(&count), S_OK);
    EXPECT_EQ(count, 2);
    EXPECT_EQ(tasks->get_Item(integer_index(VT_I4, 1), nullptr), E_POINTER);
}

TEST_F(TaskListing, ACollectionUsedAfterItsApartmentEndedIsAViolation) {
    ASSERT_EQ(register_task(u"One"), S_OK);
    on_fresh_thread([] {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        Ref<ITaskService> service;
        ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                   reinterpret_cast<void**>(service.put())),
                  S_OK);
        VARIANT empty{};
        ASSERT_EQ(service->Connect(empty, empty, empty, empty), S_OK);
        Ref<ITaskFolder> root;
        ASSERT_EQ(service->GetFolder(Text(u"\\").get(), root.put()), S_OK);
        Ref<IRegisteredTaskCollection> tasks;
        ASSERT_EQ(root->GetTasks(0, tasks.put()), S_OK);
        root.reset();
        service.reset();
        CoUninitialize();
        LONG count = 0;
        tasks->get_Count(&count);
        tasks.reset();
    });
    const std::string found = violations();
    winemu_clear_violations();
    EXPECT_NE(found.find("get_Count on IRegisteredTaskCollection #"), std::string::npos) << found;
}

}  // namespace
