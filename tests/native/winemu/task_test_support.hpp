// task_test_support.hpp: a fresh task library and a connected service for each service test.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <string_view>
#include <thread>

#include <gtest/gtest.h>
#include <winemu/control.h>
#include <winemu/windows.h>

#include "com_test_support.hpp"

namespace winemu_test {

// A BSTR made from a text; null() is the null BSTR.
class Text : public Bstr {
public:
    explicit Text(std::u16string_view text) : Bstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size()))) {}
    static Text null() { return Text(); }

private:
    Text() = default;
};

inline std::u16string u16(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

// A definition that runs `command` with `arguments`; `settings` goes inside <Settings>.
inline std::u16string task_xml(std::u16string_view command = u"/bin/true", std::u16string_view arguments = u"",
                               std::u16string_view settings = u"<Enabled>true</Enabled>") {
    std::u16string xml =
        u"<?xml version=\"1.0\" encoding=\"UTF-16\"?>\n"
        u"<Task version=\"1.2\" xmlns=\"http://schemas.microsoft.com/windows/2004/02/mit/task\">\n"
        u"  <Settings>\n"
        u"    ";
    xml += settings;
    xml += u"\n  </Settings>\n  <Actions>\n    <Exec>\n      <Command>";
    xml += command;
    xml += u"</Command>\n";
    if (!arguments.empty()) {
        xml += u"      <Arguments>";
        xml += arguments;
        xml += u"</Arguments>\n";
    }
    xml += u"    </Exec>\n  </Actions>\n</Task>\n";
    return xml;
}

// The start records of a task as winemu_runs gives them, "invalid" for a name it refuses. Records
// may be appended while they are read (by the runs' runners), so the
// copy is made again until it fits.
inline std::string runs_of(const char* name) {
    std::string json;
    for (;;) {
        const size_t length = winemu_runs(name, json.data(), json.size());
        if (length == static_cast<size_t>(-1)) return "invalid";
        if (length < json.size()) {
            json.resize(length);
            return json;
        }
        json.assign(length + 1, '\0');
    }
}

// Whether the condition comes true within five seconds, asked every 10 ms.
template <typename Condition>
bool eventually(Condition condition) {
    for (int i = 0; i < 500; ++i) {
        if (condition()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

inline std::string read_file(const std::filesystem::path& path) {
    std::string text;
    if (FILE* file = std::fopen(path.c_str(), "rb")) {
        char chunk[4096];
        std::size_t got;
        while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0) text.append(chunk, got);
        std::fclose(file);
    }
    return text;
}

// A connection of its own for a worker thread: an apartment, a connected service, its root folder.
class ThreadConnection {
public:
    ThreadConnection() {
        winemu_enter_apartment(1);
        CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                         reinterpret_cast<void**>(service_.put()));
        VARIANT empty{};
        if (service_) service_->Connect(empty, empty, empty, empty);
        if (service_) service_->GetFolder(Text(u"\\").get(), root_.put());
    }
    ThreadConnection(const ThreadConnection&) = delete;
    ThreadConnection& operator=(const ThreadConnection&) = delete;
    ~ThreadConnection() {
        root_.reset();
        service_.reset();
        winemu_leave_apartment();
    }
    ITaskFolder* root() const { return root_.get(); }
    HRESULT register_task(const Text& name, const Text& xml) const {
        VARIANT empty{};
        Ref<IRegisteredTask> task;
        return root_->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, empty, empty,
                                   TASK_LOGON_INTERACTIVE_TOKEN, empty, task.put());
    }

private:
    Ref<ITaskService> service_;
    Ref<ITaskFolder> root_;
};

// Each test: its own library in a new temporary directory, an apartment, a connected service and
// its root folder; afterwards nothing of winemu may be outstanding.
class TaskServiceTest : public ::testing::Test {
protected:
    void SetUp() override {
        std::string pattern = (std::filesystem::temp_directory_path() / "winemu-tasks-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        sandbox_ = pattern;
        library_ = sandbox_ / "library";
        ASSERT_EQ(winemu_set_task_library(library_.c_str()), 0);
        winemu_clear_faults();
        ASSERT_TRUE(SUCCEEDED(winemu_enter_apartment(1)));
        ASSERT_EQ(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                   reinterpret_cast<void**>(service_.put())),
                  S_OK);
        VARIANT empty{};
        ASSERT_EQ(service_->Connect(empty, empty, empty, empty), S_OK);
        const Text root_path(u"\\");
        ASSERT_EQ(service_->GetFolder(root_path.get(), root_.put()), S_OK);
    }

    void TearDown() override {
        root_.reset();
        service_.reset();
        SetErrorInfo(0, nullptr);  // refusals leave error objects on the thread
        winemu_leave_apartment();
        winemu_clear_faults();
        expect_nothing_outstanding();
        EXPECT_EQ(winemu_end_runs(nullptr, 2.0), 0) << "runs that would not end";
        std::error_code ignored;
        std::filesystem::remove_all(sandbox_, ignored);
    }

    HRESULT get_task(const Text& name, Ref<IRegisteredTask>* task = nullptr) {
        Ref<IRegisteredTask> found;
        const HRESULT hr = root_->GetTask(name.get(), found.put());
        if (SUCCEEDED(hr) != static_cast<bool>(found)) ADD_FAILURE() << "GetTask: result and object disagree";
        if (task) *task = std::move(found);
        return hr;
    }
    HRESULT get_task(std::u16string_view name, Ref<IRegisteredTask>* task = nullptr) {
        return get_task(Text(name), task);
    }
    HRESULT delete_task(std::u16string_view name) { return root_->DeleteTask(Text(name).get(), 0); }
    HRESULT register_task(const Text& name, std::u16string_view xml, LONG flags = TASK_CREATE_OR_UPDATE,
                          Ref<IRegisteredTask>* task = nullptr) {
        VARIANT empty{};
        Ref<IRegisteredTask> registered;
        const Text xml_text(xml);
        const HRESULT hr = root_->RegisterTask(name.get(), xml_text.get(), flags, empty, empty,
                                               TASK_LOGON_INTERACTIVE_TOKEN, empty, registered.put());
        if (task) *task = std::move(registered);
        return hr;
    }
    HRESULT register_task(std::u16string_view name, std::u16string_view xml = task_xml(),
                          LONG flags = TASK_CREATE_OR_UPDATE, Ref<IRegisteredTask>* task = nullptr) {
        return register_task(Text(name), xml, flags, task);
    }

    // Starts the task without arguments (RunEx), handing the instance out when asked.
    HRESULT run(std::u16string_view name, Ref<IRunningTask>* running = nullptr) {
        Ref<IRegisteredTask> task;
        if (const HRESULT hr = get_task(name, &task); FAILED(hr)) return hr;
        Ref<IRunningTask> instance;
        const HRESULT hr = task->RunEx(VARIANT{}, TASK_RUN_NO_FLAGS, 0, nullptr, instance.put());
        if (SUCCEEDED(hr) != static_cast<bool>(instance)) ADD_FAILURE() << "RunEx: result and object disagree";
        if (running) *running = std::move(instance);
        return hr;
    }

    struct Refusal {
        HRESULT code;
        std::u16string description;  // the restricted description
    };

    // Registers the text as "Checked" and reads the restricted error object the refusal left.
    Refusal refusal_of(std::u16string_view xml) {
        SetErrorInfo(0, nullptr);
        const HRESULT hr = register_task(u"Checked", xml);
        Refusal refusal{hr, {}};
        Ref<IErrorInfo> info = take_error_info();
        if (!info) return refusal;
        Ref<IRestrictedErrorInfo> restricted;
        if (FAILED(query(info, IID_IRestrictedErrorInfo, restricted))) return refusal;
        Bstr description;
        Bstr detail;
        Bstr sid;
        HRESULT code = S_OK;
        EXPECT_EQ(restricted->GetErrorDetails(description.put(), &code, detail.put(), sid.put()), S_OK);
        EXPECT_EQ(code, hr);
        EXPECT_FALSE(view(description).empty());  // the system's text of the code
        refusal.description = std::u16string(view(detail));
        return refusal;
    }

    static std::u16string path_of(IRegisteredTask* task) {
        Bstr path;
        EXPECT_EQ(task->get_Path(path.put()), S_OK);
        return std::u16string(view(path));
    }

    // Every file and directory under `root`, as paths relative to it.
    static std::vector<std::string> entries_under(const std::filesystem::path& root) {
        std::vector<std::string> entries;
        std::error_code error;
        for (auto it = std::filesystem::recursive_directory_iterator(root, error);
             it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
            entries.push_back(std::filesystem::relative(it->path(), root).string());
        }
        return entries;
    }
    // The same without the computer's accounts file, which the first registration makes.
    static std::vector<std::string> task_entries_under(const std::filesystem::path& root) {
        std::vector<std::string> entries = entries_under(root);
        std::erase(entries, ".accounts");
        return entries;
    }

    std::filesystem::path sandbox_;
    std::filesystem::path library_;
    Ref<ITaskService> service_;
    Ref<ITaskFolder> root_;
};

}  // namespace winemu_test
