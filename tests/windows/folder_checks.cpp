// folder_checks.cpp: the folder operations and the folder collection's enumerator on Wine's service.
#include "folder_checks.hpp"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "scheduler/folder_operations.hpp"
#include "scheduler/own_connection.hpp"
#include "system_text.hpp"

namespace {

namespace client = morvane::scheduler;

constexpr HRESULT already_exists = static_cast<HRESULT>(0x800700B7u);
constexpr HRESULT not_empty = static_cast<HRESULT>(0x80070091u);
constexpr HRESULT file_not_found = static_cast<HRESULT>(0x80070002u);
constexpr HRESULT invalid_argument = static_cast<HRESULT>(0x80070057u);
constexpr HRESULT access_denied = static_cast<HRESULT>(0x80070005u);
constexpr HRESULT invalid_name = static_cast<HRESULT>(0x8007007Bu);
// IEnumVARIANT's documented identifier: mingw-w64 keeps it in libuuid, which the driver does not link.
constexpr IID enum_variant_iid = {0x00020404, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

template <class R>
std::string outcome(const R& result) {
    if (result.ok()) return "success";
    return std::string(result.error().operation) + " " + formatted_code(result.error().code);
}

template <class R>
bool fails_at(const R& result, std::string_view operation, HRESULT code) {
    return !result.ok() && result.error().operation == operation && result.error().code == code;
}

std::string joined(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) text += (text.empty() ? "" : ", ") + path;
    return "[" + text + "]";
}

// The service's default descriptor for the folders made here.
constexpr std::optional<std::string_view> no_descriptor;

void check_client(CheckReport& report) {
    auto made = client::with_own_connection(client::create_folder, "MorvaneWineFolder\\Inner\\Deep", no_descriptor);
    report.check(made.ok(), "create_folder makes a folder and the missing ones on its path", outcome(made));
    auto again = client::with_own_connection(client::create_folder, "morvanewinefolder\\INNER", no_descriptor);
    report.check(fails_at(again, "CreateFolder", already_exists),
                 "create_folder of an existing folder, in another case, fails with ERROR_ALREADY_EXISTS",
                 outcome(again));

    auto listed = client::with_own_connection(client::list_folders, "MorvaneWineFolder", true);
    const std::vector<std::string> expected{"\\MorvaneWineFolder\\Inner", "\\MorvaneWineFolder\\Inner\\Deep"};
    report.check(listed.ok() && listed.value() == expected,
                 "list_folders of a folder, recursive, gives paths from the root",
                 listed.ok() ? joined(listed.value()) : outcome(listed));

    auto full = client::with_own_connection(client::delete_folder, "MorvaneWineFolder\\Inner");
    report.check(fails_at(full, "DeleteFolder", not_empty),
                 "delete_folder of a folder that holds one fails with ERROR_DIR_NOT_EMPTY", outcome(full));
    for (const char* path : {"MorvaneWineFolder\\Inner\\Deep", "MorvaneWineFolder\\Inner", "MorvaneWineFolder"}) {
        auto deleted = client::with_own_connection(client::delete_folder, path);
        report.check(deleted.ok(), std::string("delete_folder of the empty folder ") + path, outcome(deleted));
    }
    auto missing = client::with_own_connection(client::delete_folder, "MorvaneWineFolder");
    report.check(fails_at(missing, "DeleteFolder", file_not_found),
                 "delete_folder of a missing folder fails with ERROR_FILE_NOT_FOUND", outcome(missing));
}

// The interfaces themselves, on one connection: Wine's own answers, where they differ from Windows'.
class Service {
public:
    Service() {
        CoInitializeEx(nullptr, COINIT_MULTITHREADED);
        if (FAILED(CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                    reinterpret_cast<void**>(&service_))))
            return;
        VARIANT none{};
        service_->Connect(none, none, none, none);
        BSTR root_path = SysAllocString(L"\\");
        service_->GetFolder(root_path, &root_);
        SysFreeString(root_path);
    }
    Service(const Service&) = delete;
    Service& operator=(const Service&) = delete;
    ~Service() {
        if (root_) root_->Release();
        if (service_) service_->Release();
        CoUninitialize();
    }
    ITaskFolder* root() const { return root_; }

    HRESULT create(const wchar_t* path) {
        BSTR name = path ? SysAllocString(path) : nullptr;
        ITaskFolder* folder = nullptr;
        VARIANT none{};
        const HRESULT hr = root_->CreateFolder(name, none, &folder);
        if (folder) folder->Release();
        SysFreeString(name);
        return hr;
    }
    HRESULT remove(const wchar_t* path) {
        BSTR name = path ? SysAllocString(path) : nullptr;
        const HRESULT hr = root_->DeleteFolder(name, 0);
        SysFreeString(name);
        return hr;
    }

private:
    ITaskService* service_ = nullptr;
    ITaskFolder* root_ = nullptr;
};

void check_edges(CheckReport& report, Service& service) {
    struct Edge {
        const char* name;
        bool create;
        const wchar_t* path;
        HRESULT expected;
    };
    // Windows' answers, as Wine's tests give them; Wine's where they differ, named so.
    const Edge edges[] = {
        {"CreateFolder of a null name: E_INVALIDARG", true, nullptr, invalid_argument},
        {"CreateFolder of a path with a trailing backslash: ERROR_INVALID_NAME", true, L"\\MorvaneWineEdge\\",
         invalid_name},
        {"DeleteFolder of a null name: E_ACCESSDENIED", false, nullptr, access_denied},
        {"DeleteFolder of the empty name: E_ACCESSDENIED", false, L"", access_denied},
    };
    for (const Edge& edge : edges) {
        const HRESULT hr = edge.create ? service.create(edge.path) : service.remove(edge.path);
        report.check(hr == edge.expected, edge.name, formatted_code(hr));
    }
}

std::string path_of(const VARIANT& item) {
    if (item.vt != VT_DISPATCH || !item.pdispVal) return "(vt " + std::to_string(item.vt) + ")";
    ITaskFolder* folder = nullptr;
    if (FAILED(item.pdispVal->QueryInterface(IID_ITaskFolder, reinterpret_cast<void**>(&folder)))) return "(no folder)";
    BSTR path = nullptr;
    folder->get_Path(&path);
    folder->Release();
    std::string text;
    for (UINT i = 0; path && i < SysStringLen(path); ++i) text += static_cast<char>(path[i]);
    SysFreeString(path);
    return text;
}

void check_enumerator(CheckReport& report, Service& service) {
    service.create(L"\\MorvaneWineEnum\\One");
    service.create(L"\\MorvaneWineEnum\\Two");
    BSTR parent_path = SysAllocString(L"\\MorvaneWineEnum");
    ITaskFolder* parent = nullptr;
    ITaskFolderCollection* folders = nullptr;
    IUnknown* unknown = nullptr;
    IEnumVARIANT* walk = nullptr;
    if (SUCCEEDED(service.root()->GetFolder(parent_path, &parent)) && SUCCEEDED(parent->GetFolders(0, &folders)) &&
        SUCCEEDED(folders->get__NewEnum(&unknown)))
        unknown->QueryInterface(enum_variant_iid, reinterpret_cast<void**>(&walk));
    report.check(walk != nullptr, "the folder collection's _NewEnum gives an IEnumVARIANT");
    if (walk) {
        const HRESULT skip_all = walk->Skip(2);
        const HRESULT skip_past = walk->Skip(1);
        ULONG fetched = 7;
        const HRESULT at_end = walk->Next(1, nullptr, &fetched);
        report.check(skip_all == S_OK && skip_past == S_FALSE && at_end == S_FALSE && fetched == 0,
                     "Skip to the end is S_OK, past it S_FALSE; Next at the end is S_FALSE, nothing fetched",
                     formatted_code(skip_all) + " " + formatted_code(skip_past) + " " + formatted_code(at_end));
        walk->Reset();
        VARIANT items[3]{};
        const HRESULT next = walk->Next(3, items, &fetched);
        std::string seen = formatted_code(next) + " " + std::to_string(fetched);
        for (ULONG i = 0; i < fetched && i < 3; ++i) seen += " " + path_of(items[i]);
        report.check(next == S_FALSE && fetched == 2 && path_of(items[0]) == "\\MorvaneWineEnum\\One" &&
                         path_of(items[1]) == "\\MorvaneWineEnum\\Two",
                     "Next of 3 after Reset gives the 2 folders as VT_DISPATCH and S_FALSE", seen);
        for (ULONG i = 0; i < fetched && i < 3; ++i) VariantClear(&items[i]);
        walk->Release();
    }
    if (unknown) unknown->Release();
    if (folders) folders->Release();
    if (parent) parent->Release();
    SysFreeString(parent_path);
    service.remove(L"\\MorvaneWineEnum\\One");
    service.remove(L"\\MorvaneWineEnum\\Two");
    service.remove(L"\\MorvaneWineEnum");
}

}  // namespace

void check_folders(CheckReport& report) {
    check_client(report);
    Service service;
    if (!service.root()) {
        report.check(false, "a connection for the folder edges");
        return;
    }
    check_edges(report, service);
    check_enumerator(report, service);
}
