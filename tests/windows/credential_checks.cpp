// credential_checks.cpp: the rows of credential_answers.tsv asked of Wine's service through the
// Task Scheduler's own interfaces (the client connects only to this computer, with its own token).
// Each row is one call on fresh objects; what it leaves behind (a task, a folder) is deleted again.
#include "credential_checks.hpp"

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>
#include <taskschd.h>

#include <array>
#include <cstdlib>
#include <map>
#include <optional>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

#include "owners/unique_handle.hpp"
#include "scheduler/unique_bstr.hpp"
#include "system_text.hpp"

namespace {

using morvane::ComPtr;
using morvane::scheduler::UniqueBstr;

constexpr std::wstring_view task_name = L"MorvaneCredentialCheck";
constexpr std::wstring_view folder_name = L"MorvaneCredentialFolder";
constexpr std::wstring_view task_xml = LR"(<?xml version="1.0" encoding="UTF-16"?>
<Task version="1.2" xmlns="http://schemas.microsoft.com/windows/2004/02/mit/task">
  <Actions><Exec><Command>cmd.exe</Command></Exec></Actions>
</Task>
)";

struct AnswerRow {
    std::string name;
    std::string operation;
    std::array<std::string, 4> arguments;
    std::string windows;
    std::string wine;  // Windows' answer where Wine gives the same
};

// One line of the table; nothing for a line that has not its nine columns.
std::optional<AnswerRow> read_row(const std::string& line) {
    std::vector<std::string> columns;
    std::istringstream fields(line);
    for (std::string column; std::getline(fields, column, '\t');) columns.push_back(column);
    if (columns.size() != 9) return std::nullopt;
    AnswerRow row{columns[0], columns[1], {columns[2], columns[3], columns[4], columns[5]}, columns[6], columns[7]};
    if (row.wine == "same") row.wine = row.windows;
    return row;
}

std::wstring wide(std::string_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::wstring out(static_cast<std::size_t>(MultiByteToWideChar(CP_UTF8, 0, text.data(), size, nullptr, 0)), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), size, out.data(), static_cast<int>(out.size()));
    return out;
}

std::string narrow(std::wstring_view text) {
    if (text.empty()) return {};
    const int size = static_cast<int>(text.size());
    std::string out(static_cast<std::size_t>(WideCharToMultiByte(CP_UTF8, 0, text.data(), size, nullptr, 0, nullptr,
                                                                 nullptr)),
                    '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), size, out.data(), static_cast<int>(out.size()), nullptr, nullptr);
    return out;
}

// {computer}, {user} and {domain} as this process sees them.
std::map<std::string, std::string> identity_tokens() {
    wchar_t computer[MAX_COMPUTERNAME_LENGTH + 1];
    DWORD computer_length = MAX_COMPUTERNAME_LENGTH + 1;
    if (!GetComputerNameW(computer, &computer_length)) computer_length = 0;
    wchar_t user[257];
    DWORD user_length = 257;
    if (!GetUserNameW(user, &user_length)) user_length = 1;  // counts the NUL
    wchar_t domain[256];
    const DWORD domain_length = GetEnvironmentVariableW(L"USERDOMAIN", domain, 256);
    const std::string computer_name = narrow({computer, computer_length});
    return {{"{computer}", computer_name},
            {"{user}", narrow({user, user_length - 1})},
            {"{domain}", domain_length > 0 && domain_length < 256 ? narrow({domain, domain_length}) : computer_name}};
}

std::string expand(std::string text, const std::map<std::string, std::string>& tokens) {
    for (const auto& [token, value] : tokens) {
        for (std::size_t at = text.find(token); at != std::string::npos; at = text.find(token, at + value.size()))
            text.replace(at, token.size(), value);
    }
    return text;
}

// A VARIANT argument that owns what it holds: VT_NULL for "-", else the text as a BSTR.
class ArgumentVariant {
public:
    explicit ArgumentVariant(const std::string& argument) {
        VariantInit(&value_);
        if (argument == "-") {
            V_VT(&value_) = VT_NULL;
            return;
        }
        const std::wstring text = argument == "\"\"" ? std::wstring() : wide(argument);
        V_VT(&value_) = VT_BSTR;
        V_BSTR(&value_) = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    }
    ~ArgumentVariant() { VariantClear(&value_); }
    ArgumentVariant(const ArgumentVariant&) = delete;
    ArgumentVariant& operator=(const ArgumentVariant&) = delete;
    const VARIANT& get() const { return value_; }

private:
    VARIANT value_;
};

UniqueBstr bstr(std::wstring_view text) {
    return UniqueBstr(SysAllocStringLen(text.data(), static_cast<UINT>(text.size())));
}

VARIANT null_variant() {
    VARIANT value;
    VariantInit(&value);
    V_VT(&value) = VT_NULL;
    return value;
}

std::string answer(HRESULT code, std::string_view read = {}) {
    std::string text = formatted_code(code);
    if (!read.empty()) text += " " + std::string(read);
    return text;
}

struct Service {
    HRESULT created = E_FAIL;
    ComPtr<ITaskService> object;
};

Service new_service() {
    Service service;
    service.created = CoCreateInstance(CLSID_TaskScheduler, nullptr, CLSCTX_INPROC_SERVER, IID_ITaskService,
                                       service.object.put_void());
    return service;
}

HRESULT connect_here(ITaskService* service) {
    const VARIANT none = null_variant();
    return service->Connect(none, none, none, none);
}

// A root folder of a service connected to this computer; `failure` holds the call's answer when
// there is none.
ComPtr<ITaskFolder> root_folder(Service& service, HRESULT& failure) {
    ComPtr<ITaskFolder> root;
    failure = service.created;
    if (FAILED(failure)) return root;
    failure = connect_here(service.object.get());
    if (FAILED(failure)) return root;
    UniqueBstr path = bstr(L"\\");
    failure = service.object->GetFolder(path.get(), root.put());
    return root;
}

std::string connect(const std::array<std::string, 4>& arguments, bool after_local_connect) {
    Service service = new_service();
    if (FAILED(service.created)) return "CoCreateInstance " + answer(service.created);
    if (after_local_connect) {
        const HRESULT first = connect_here(service.object.get());
        if (FAILED(first)) return "local Connect " + answer(first);
    }
    const ArgumentVariant server(arguments[0]), user(arguments[1]), domain(arguments[2]), password(arguments[3]);
    const HRESULT connected = service.object->Connect(server.get(), user.get(), domain.get(), password.get());
    if (!after_local_connect) return answer(connected);
    VARIANT_BOOL still = VARIANT_FALSE;
    const HRESULT asked = service.object->get_Connected(&still);
    return answer(connected, SUCCEEDED(asked) && still == VARIANT_TRUE ? "connected" : "disconnected");
}

std::string property(const std::string& name, bool after_connect) {
    Service service = new_service();
    if (FAILED(service.created)) return "CoCreateInstance " + answer(service.created);
    if (after_connect) {
        const HRESULT connected = connect_here(service.object.get());
        if (FAILED(connected)) return "Connect " + answer(connected);
    }
    UniqueBstr value;
    HRESULT read = E_INVALIDARG;
    if (name == "TargetServer") read = service.object->get_TargetServer(value.put());
    if (name == "ConnectedUser") read = service.object->get_ConnectedUser(value.put());
    if (name == "ConnectedDomain") read = service.object->get_ConnectedDomain(value.put());
    return answer(read, SUCCEEDED(read) ? narrow({value.get(), SysStringLen(value.get())}) : "");
}

std::optional<TASK_LOGON_TYPE> logon_type(std::string_view name) {
    static constexpr std::pair<std::string_view, TASK_LOGON_TYPE> types[] = {
        {"TASK_LOGON_NONE", TASK_LOGON_NONE},
        {"TASK_LOGON_PASSWORD", TASK_LOGON_PASSWORD},
        {"TASK_LOGON_S4U", TASK_LOGON_S4U},
        {"TASK_LOGON_INTERACTIVE_TOKEN", TASK_LOGON_INTERACTIVE_TOKEN},
        {"TASK_LOGON_GROUP", TASK_LOGON_GROUP},
        {"TASK_LOGON_SERVICE_ACCOUNT", TASK_LOGON_SERVICE_ACCOUNT},
        {"TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD", TASK_LOGON_INTERACTIVE_TOKEN_OR_PASSWORD},
    };
    for (const auto& [spelled, type] : types)
        if (spelled == name) return type;
    return std::nullopt;
}

std::string register_task(const std::array<std::string, 4>& arguments) {
    const std::optional<TASK_LOGON_TYPE> logon = logon_type(arguments[1]);
    if (!logon) return "no such logon type: " + arguments[1];
    Service service = new_service();
    HRESULT failure = S_OK;
    ComPtr<ITaskFolder> root = root_folder(service, failure);
    if (!root) return "root folder " + answer(failure);
    UniqueBstr name = bstr(task_name);
    (void)root->DeleteTask(name.get(), 0);
    const ArgumentVariant user(arguments[2]), password(arguments[3]);
    const VARIANT no_sddl = null_variant();
    ComPtr<IRegisteredTask> task;
    HRESULT registered = E_FAIL;
    if (arguments[0] == "definition") {
        ComPtr<ITaskDefinition> definition;
        registered = service.object->NewTask(0, definition.put());
        UniqueBstr xml = bstr(task_xml);
        if (SUCCEEDED(registered)) registered = definition->put_XmlText(xml.get());
        if (FAILED(registered)) return "definition " + answer(registered);
        registered = root->RegisterTaskDefinition(name.get(), definition.get(), TASK_CREATE_OR_UPDATE, user.get(),
                                                  password.get(), *logon, no_sddl, task.put());
    } else {
        UniqueBstr xml = bstr(task_xml);
        registered = root->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, user.get(), password.get(),
                                        *logon, no_sddl, task.put());
    }
    if (SUCCEEDED(registered)) (void)root->DeleteTask(name.get(), 0);
    return answer(registered);
}

// The SDDL read, when it is text: "sddl" when the service gave some, "empty" when none.
std::string read_security(HRESULT read, const UniqueBstr& sddl) {
    if (FAILED(read)) return answer(read);
    return answer(read, SysStringLen(sddl.get()) > 0 ? "sddl" : "empty");
}

std::string task_security(const std::array<std::string, 4>& arguments, bool set) {
    Service service = new_service();
    HRESULT failure = S_OK;
    ComPtr<ITaskFolder> root = root_folder(service, failure);
    if (!root) return "root folder " + answer(failure);
    UniqueBstr name = bstr(task_name);
    UniqueBstr xml = bstr(task_xml);
    const VARIANT none = null_variant();
    ComPtr<IRegisteredTask> task;
    const HRESULT registered =
        root->RegisterTask(name.get(), xml.get(), TASK_CREATE_OR_UPDATE, none, none, TASK_LOGON_NONE, none, task.put());
    if (FAILED(registered)) return "RegisterTask " + answer(registered);
    std::string outcome;
    if (set) {
        UniqueBstr sddl = bstr(wide(arguments[0]));
        outcome = answer(task->SetSecurityDescriptor(sddl.get(), std::atol(arguments[1].c_str())));
    } else {
        UniqueBstr sddl;
        outcome = read_security(task->GetSecurityDescriptor(std::atol(arguments[0].c_str()), sddl.put()), sddl);
    }
    (void)root->DeleteTask(name.get(), 0);
    return outcome;
}

std::string folder_security(const std::array<std::string, 4>& arguments, bool set) {
    Service service = new_service();
    HRESULT failure = S_OK;
    ComPtr<ITaskFolder> root = root_folder(service, failure);
    if (!root) return "root folder " + answer(failure);
    UniqueBstr name = bstr(folder_name);
    (void)root->DeleteFolder(name.get(), 0);
    const VARIANT none = null_variant();
    ComPtr<ITaskFolder> folder;
    const HRESULT created = root->CreateFolder(name.get(), none, folder.put());
    if (FAILED(created)) return "CreateFolder " + answer(created);
    std::string outcome;
    if (set) {
        UniqueBstr sddl = bstr(wide(arguments[0]));
        outcome = answer(folder->SetSecurityDescriptor(sddl.get(), std::atol(arguments[1].c_str())));
    } else {
        UniqueBstr sddl;
        outcome = read_security(folder->GetSecurityDescriptor(std::atol(arguments[0].c_str()), sddl.put()), sddl);
    }
    folder = {};
    (void)root->DeleteFolder(name.get(), 0);
    return outcome;
}

std::string create_folder(const std::string& sddl) {
    Service service = new_service();
    HRESULT failure = S_OK;
    ComPtr<ITaskFolder> root = root_folder(service, failure);
    if (!root) return "root folder " + answer(failure);
    UniqueBstr name = bstr(folder_name);
    (void)root->DeleteFolder(name.get(), 0);
    const ArgumentVariant descriptor(sddl);
    ComPtr<ITaskFolder> folder;
    const HRESULT created = root->CreateFolder(name.get(), descriptor.get(), folder.put());
    folder = {};
    if (SUCCEEDED(created)) (void)root->DeleteFolder(name.get(), 0);
    return answer(created);
}

// Registers task_xml with RegistrationInfo/SecurityDescriptor `described` and the sddl argument
// `given` ("-": none), and says whose descriptor the task got, by the DACL's last ACE of each:
// "definition's", "argument's" or "other"; a refused registration answers its code.
std::string register_described(const std::string& described, const std::string& given) {
    Service service = new_service();
    HRESULT failure = S_OK;
    ComPtr<ITaskFolder> root = root_folder(service, failure);
    if (!root) return "root folder " + answer(failure);
    UniqueBstr name = bstr(task_name);
    (void)root->DeleteTask(name.get(), 0);
    std::wstring xml(task_xml);
    const std::wstring task_start = L"mit/task\">";
    xml.insert(xml.find(task_start) + task_start.size(),
               L"<RegistrationInfo><SecurityDescriptor>" + wide(described) + L"</SecurityDescriptor></RegistrationInfo>");
    UniqueBstr text = bstr(xml);
    const VARIANT none = null_variant();
    const ArgumentVariant sddl(given);
    ComPtr<IRegisteredTask> task;
    const HRESULT registered =
        root->RegisterTask(name.get(), text.get(), TASK_CREATE_OR_UPDATE, none, none, TASK_LOGON_NONE, sddl.get(),
                           task.put());
    if (FAILED(registered)) return answer(registered);
    UniqueBstr read;
    const HRESULT asked = task->GetSecurityDescriptor(4 /* DACL */, read.put());
    (void)root->DeleteTask(name.get(), 0);
    if (FAILED(asked)) return answer(asked);
    const std::string dacl = narrow({read.get(), SysStringLen(read.get())});
    const auto holds_last_ace = [&](const std::string& of) {
        return of != "-" && dacl.find(of.substr(of.rfind('('))) != std::string::npos;
    };
    return answer(asked, holds_last_ace(given) ? "argument's" : holds_last_ace(described) ? "definition's" : "other");
}

std::string ask(const AnswerRow& row) {
    const auto& arguments = row.arguments;
    if (row.operation == "connect") return connect(arguments, false);
    if (row.operation == "reconnect") return connect(arguments, true);
    if (row.operation == "property") return property(arguments[0], arguments[1] == "after");
    if (row.operation == "register") return register_task(arguments);
    if (row.operation == "task-security") return task_security(arguments, false);
    if (row.operation == "set-task-security") return task_security(arguments, true);
    if (row.operation == "folder-security") return folder_security(arguments, false);
    if (row.operation == "set-folder-security") return folder_security(arguments, true);
    if (row.operation == "create-folder") return create_folder(arguments[0]);
    if (row.operation == "register-described") return register_described(arguments[0], arguments[1]);
    return "no such operation: " + row.operation;
}

// The multithreaded apartment for the rows' calls, entered for their time only.
class Apartment {
public:
    Apartment() : entered_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
    ~Apartment() {
        if (SUCCEEDED(entered_)) CoUninitialize();
    }
    Apartment(const Apartment&) = delete;
    Apartment& operator=(const Apartment&) = delete;
    HRESULT entered() const { return entered_; }

private:
    HRESULT entered_;
};

}  // namespace

void check_credentials(CheckReport& report, std::istream& table) {
    const Apartment apartment;
    report.check(SUCCEEDED(apartment.entered()), "credential answers: the thread enters the multithreaded apartment",
                 formatted_code(apartment.entered()));
    const std::map<std::string, std::string> tokens = identity_tokens();
    int rows = 0;
    for (std::string line; std::getline(table, line);) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty() || line.front() == '#') continue;
        std::optional<AnswerRow> row = read_row(line);
        if (!row) {
            report.check(false, "credential answers: a line of nine columns", line);
            continue;
        }
        ++rows;
        for (std::string& argument : row->arguments) argument = expand(argument, tokens);
        const std::string expected = expand(row->wine, tokens);
        const std::string seen = ask(*row);
        const std::string differs = row->wine == row->windows ? "" : " (Windows: " + row->windows + ")";
        report.check(seen == expected, "credentials " + row->name + ": " + expected + differs, seen);
    }
    report.check(rows > 0, "credential answers: the table has rows");
}
