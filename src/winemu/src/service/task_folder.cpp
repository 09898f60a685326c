// task_folder.cpp: a folder of the task library: its tasks (GetTask, GetTasks, DeleteTask, RegisterTask)
// and its subfolders (GetFolder, GetFolders, CreateFolder, DeleteFolder).
#include "service/task_folder.hpp"

#include <algorithm>
#include <chrono>
#include <memory>
#include <utility>
#include <variant>
#include <vector>

#include "accounts/account_file.hpp"
#include "accounts/caller.hpp"
#include "accounts/secret_text.hpp"
#include "accounts/task_principal.hpp"
#include "base/utf.hpp"
#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "com/error_objects.hpp"
#include "com/guid_text.hpp"
#include "control/platform_call.hpp"
#include "service/listing_cache.hpp"
#include "service/listing_disk_cache.hpp"
#include "service/run_times.hpp"
#include "service/registered_task.hpp"
#include "service/service_call.hpp"
#include "service/service_object.hpp"
#include "service/task_access.hpp"
#include "service/task_collections.hpp"
#include "library/task_paths.hpp"
#include "com/system_messages.hpp"
#include "library/task_readback.hpp"
#include "launch/task_removal.hpp"
#include "library/task_store.hpp"
#include "library/task_names.hpp"
#include "library/task_xml.hpp"

namespace winemu {
namespace {

constexpr DWORD rpc_null_reference = 1780;  // RPC_X_NULL_REF_POINTER
constexpr LONG supported_creation_flags = TASK_VALIDATE_ONLY | TASK_CREATE | TASK_UPDATE | TASK_DISABLE |
                                          TASK_DONT_ADD_PRINCIPAL_ACE | TASK_IGNORE_REGISTRATION_TRIGGERS;

// A task path: a name that resolves to the root (or no name at all) names no task.
HResultOr<PathElements> task_path(std::u16string_view name, const PathElements& base) {
    if (name.empty()) return HResultOr<PathElements>::failure(E_INVALIDARG);
    auto path = resolve_task_path(name, base);
    if (path.ok() && path.value().empty()) return HResultOr<PathElements>::failure(E_INVALIDARG);
    return path;
}

// The creation flags Windows defines; a bit outside them is ignored, as MS-TSCH SchRpcRegisterTask
// has the server do. TASK_DISABLE is defined but not supported here: refused.
constexpr LONG defined_creation_flags = supported_creation_flags | TASK_DISABLE;

// Without TASK_CREATE or TASK_UPDATE, Windows creates (and refuses an existing task).
// TASK_VALIDATE_ONLY goes with neither of them.
std::optional<WriteMode> write_mode(LONG flags) {
    if (flags & defined_creation_flags & ~supported_creation_flags) return std::nullopt;
    const bool create = flags & TASK_CREATE;
    const bool update = flags & TASK_UPDATE;
    if ((flags & TASK_VALIDATE_ONLY) && (create || update)) return std::nullopt;
    if (create && update) return WriteMode::create_or_update;
    if (update) return WriteMode::update;
    return WriteMode::create;
}

// What a folder's path reads: "\A\B" from the root, or "A\B" for a folder opened with a
// relative path (and every folder opened from it), as Windows keeps the path a folder was opened
// with; the root reads "\" either way.
std::u16string folder_display(const PathElements& spelled, bool relative) {
    std::u16string display = display_path(spelled);
    if (relative && !spelled.empty()) display.erase(0, 1);
    return display;
}

// The sddl of RegisterTask and CreateFolder in the form kept: none (VT_EMPTY, VT_NULL, a null or
// empty BSTR) leaves the default; anything but a BSTR is E_INVALIDARG, a malformed SDDL the
// reader's code.
HResultOr<std::optional<std::string>> given_descriptor(const VARIANT& sddl) {
    using Given = HResultOr<std::optional<std::string>>;
    if (sddl.vt == VT_EMPTY || sddl.vt == VT_NULL) return std::optional<std::string>();
    if (sddl.vt != VT_BSTR) return Given::failure(E_INVALIDARG);
    if (bstr_view(sddl.bstrVal).empty()) return std::optional<std::string>();
    auto kept = kept_form(bstr_view(sddl.bstrVal));
    if (!kept.ok()) return Given::failure(kept.error());
    return std::optional<std::string>(std::move(kept.value()));
}

// The descriptor a registration gives the task: the sddl argument's when it names one (it
// supersedes the definition's, as IRegistrationInfo::SecurityDescriptor documents), else the
// definition's RegistrationInfo/SecurityDescriptor, else none (a new task takes the default, a
// task registered over keeps its own). Either replaces the descriptor of a task registered over,
// and either may name any owner and grant anyone: the caller's rights over the task or its
// folder decide whether it is written at all. The definition's is read as the argument is, and
// an unreadable one is refused with the reader's code (ERROR_INVALID_PARAMETER and its Win32
// neighbours; the property refuses one with E_INVALIDARG, the same value). It is refused even
// when the argument supersedes it and when the registration only validates: it is part of the
// definition and checked with it, a choice where Windows documents nothing.
HResultOr<std::optional<std::string>> registered_descriptor(std::optional<std::string> given,
                                                            const TaskDefinition& definition) {
    using Registered = HResultOr<std::optional<std::string>>;
    if (!definition.security_descriptor) return given;
    auto written = utf16_from_utf8(*definition.security_descriptor);
    if (!written) return Registered::failure(HRESULT_FROM_WIN32(ERROR_INVALID_PARAMETER));
    auto kept = kept_form(*written);
    if (!kept.ok()) return Registered::failure(kept.error());
    if (given) return given;
    return std::optional<std::string>(std::move(kept.value()));
}

// What RegisterTask is told of the account to run as.
struct RunAs {
    const VARIANT& user;
    const VARIANT& password;
    TASK_LOGON_TYPE logon_type;
};

// The text of RegisterTask's userId or password: none for VT_EMPTY, VT_NULL, or a null or empty
// BSTR; another type is E_INVALIDARG.
HResultOr<std::optional<std::string>> credential_text(const VARIANT& value) {
    using Outcome = HResultOr<std::optional<std::string>>;
    if (value.vt == VT_EMPTY || value.vt == VT_NULL) return std::optional<std::string>();
    if (value.vt != VT_BSTR) return Outcome::failure(E_INVALIDARG);
    const std::u16string_view text = bstr_view(value.bstrVal);
    if (text.empty()) return std::optional<std::string>();
    return std::optional<std::string>(utf8_from_utf16_lossy(text));
}

class TaskFolder final : public ServiceObject<ITaskFolder, IID_ITaskFolder> {
public:
    TaskFolder(FollowedLibrary library, PathElements folder, std::u16string display, bool relative)
        : ServiceObject(library.computer()), library_(std::move(library)), folder_(std::move(folder)), display_(std::move(display)), relative_(relative) {}

    HRESULT STDMETHODCALLTYPE get_Name(BSTR* pName) override {
        ServiceCall call("get_Name", *this);
        return call.answer_locally([&] {
            if (folder_.empty()) return hand_out_bstr(display_, pName);
            return hand_out_bstr(std::u16string_view(display_).substr(display_.find_last_of(u'\\') + 1), pName);
        });
    }
    HRESULT STDMETHODCALLTYPE get_Path(BSTR* pPath) override {
        ServiceCall call("get_Path", *this);
        return call.answer_locally([&] { return hand_out_bstr(display_, pPath); });
    }

    HRESULT STDMETHODCALLTYPE GetFolder(BSTR path, ITaskFolder** ppFolder) override {
        ServiceCall call("GetFolder", *this);
        call.text("path", path);
        return call.hand_out("folder", ppFolder, [&] {
            // Unlike the service's GetFolder, a folder wants a path, and '\\' alone names nothing.
            if (!path) return E_INVALIDARG;
            if (bstr_view(path) == u"\\") return HRESULT_FROM_WIN32(ERROR_INVALID_NAME);
            auto folder = path_inside(bstr_view(path));
            if (!folder.ok()) return folder.error();
            return open_task_folder(library_, std::move(folder.value()), relative_, ppFolder);
        });
    }

    HRESULT STDMETHODCALLTYPE GetTask(BSTR path, IRegisteredTask** ppTask) override {
        ServiceCall call("GetTask", *this);
        call.text("path", path);
        return call.hand_out("task", ppTask, [&] {
            auto task = task_path(bstr_view(path), folder_);
            if (!task.ok()) return task.error();
            ResolvedTaskPath resolved(std::move(task.value()));
            auto loaded = load_checked_task(library(), resolved);
            if (!loaded.ok()) return loaded.error();
            CheckedTask& checked = loaded.value();
            if (const HRESULT refused = AccessContext(library_).check_task(checked.stored.security, Access::read);
                FAILED(refused))
                return refused;
            return create_registered_task(library_, std::move(resolved), std::move(checked.stored),
                                          {checked.definition.enabled, false, std::nullopt,
                                           std::move(checked.definition.triggers)},
                                          ppTask);
        });
    }

    // The flags are documented as not supported: anything but 0 is refused. The name may be a
    // folder's, as the service deletes a task or an empty folder (MS-TSCH SchRpcDelete); a name
    // that leaves the path at the root (null, empty, "\\") is refused with E_ACCESSDENIED, as
    // Windows 7 and later answer. A null or empty name given to another folder names that folder.
    HRESULT STDMETHODCALLTYPE DeleteTask(BSTR name, LONG flags) override {
        ServiceCall call("DeleteTask", *this);
        call.text("name", name);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.ask([&] {
            if (flags != 0) return E_INVALIDARG;
            const std::u16string_view text = bstr_view(name);
            auto path = text.empty() ? HResultOr<PathElements>(folder_) : resolve_task_path(text, folder_);
            if (!path.ok()) return path.error();
            if (path.value().empty()) return E_ACCESSDENIED;
            ResolvedTaskPath resolved(std::move(path.value()));
            if (const HRESULT refused = check_deletion(resolved); FAILED(refused)) return refused;
            return remove_task_ending_runs(library(), resolved);
        });
    }

    HRESULT STDMETHODCALLTYPE RegisterTask(BSTR path, BSTR xmlText, LONG flags, VARIANT userId, VARIANT password,
                                           TASK_LOGON_TYPE logonType, VARIANT sddl,
                                           IRegisteredTask** ppTask) override {
        ServiceCall call("RegisterTask", *this);
        call.text("path", path);
        call.number("xml_length", xmlText ? SysStringLen(xmlText) : -1);
        call.flags("flags", static_cast<ULONG>(flags));
        call.variant("user", userId);
        call.secret("password", password);
        call.number("logon", logonType);
        call.variant("sddl", sddl);
        // A null out pointer is allowed: the task is registered and nothing is handed back.
        return call.hand_out(
            "task", ppTask,
            [&] {
                return register_task(bstr_view(path), xmlText, flags, sddl, {userId, password, logonType}, ppTask);
            },
            /*out_required=*/false);
    }

    // Subfolders have no hidden ones, but the flag is accepted as MS-TSCH SchRpcEnumFolders takes it.
    HRESULT STDMETHODCALLTYPE GetFolders(LONG flags, ITaskFolderCollection** ppFolders) override {
        ServiceCall call("GetFolders", *this);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.hand_out("folders", ppFolders, [&] {
            return (flags & ~TASK_ENUM_HIDDEN) ? E_INVALIDARG : list_folders(ppFolders);
        });
    }
    // Makes the folder and whatever is missing on its way; ERROR_ALREADY_EXISTS when it is there
    // (the folder itself, for an empty name), E_INVALIDARG for the root or a null name. A null out
    // pointer is allowed: the folder is made and nothing is handed back.
    HRESULT STDMETHODCALLTYPE CreateFolder(BSTR subFolderName, VARIANT sddl, ITaskFolder** ppFolder) override {
        ServiceCall call("CreateFolder", *this);
        call.text("name", subFolderName);
        call.variant("sddl", sddl);
        return call.hand_out(
            "folder", ppFolder,
            [&] {
                if (!subFolderName) return E_INVALIDARG;
                auto given = given_descriptor(sddl);
                if (!given.ok()) return given.error();
                auto path = path_inside(bstr_view(subFolderName));
                if (!path.ok()) return path.error();
                if (path.value().empty()) return E_INVALIDARG;
                AccessContext access(library_);
                if (const HRESULT refused = check_parent(access, path.value(), Access::add_folder); FAILED(refused))
                    return refused;
                const std::string security = given.value().value_or(default_folder_security(access.caller()));
                auto made = create_folder(library(), ResolvedTaskPath(path.value()), security);
                if (!made.ok()) return made.error();
                if (!ppFolder) return S_OK;
                *ppFolder = new TaskFolder(library_, std::move(path.value()), folder_display(made.value(), relative_),
                                           relative_);
                return S_OK;
            },
            /*out_required=*/false);
    }

    // Deletes an empty folder (ERROR_DIR_NOT_EMPTY otherwise), never a task. A null or empty name,
    // or one that names the root, is refused with E_ACCESSDENIED, as Windows 7 and later answer.
    HRESULT STDMETHODCALLTYPE DeleteFolder(BSTR subFolderName, LONG flags) override {
        ServiceCall call("DeleteFolder", *this);
        call.text("name", subFolderName);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.ask([&] {
            if (bstr_view(subFolderName).empty()) return E_ACCESSDENIED;
            if (flags != 0) return E_INVALIDARG;
            auto path = path_inside(bstr_view(subFolderName));
            if (!path.ok()) return path.error();
            if (path.value().empty()) return E_ACCESSDENIED;
            if (auto kept = load_folder_security(library(), path.value()); kept.ok()) {
                if (const HRESULT refused = AccessContext(library_).check_folder(kept.value(), false, Access::remove);
                    FAILED(refused))
                    return refused;
            }
            return remove_folder(library(), ResolvedTaskPath(std::move(path.value())));
        });
    }
    // Hidden tasks (Settings/Hidden) only with TASK_ENUM_HIDDEN; any other flag is refused, as
    // MS-TSCH SchRpcEnumTasks does.
    HRESULT STDMETHODCALLTYPE GetTasks(LONG flags, IRegisteredTaskCollection** ppTasks) override {
        ServiceCall call("GetTasks", *this);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.hand_out("tasks", ppTasks, [&] {
            if (flags & ~TASK_ENUM_HIDDEN) return E_INVALIDARG;
            return list_tasks((flags & TASK_ENUM_HIDDEN) != 0, ppTasks);
        });
    }
    HRESULT STDMETHODCALLTYPE RegisterTaskDefinition(BSTR, ITaskDefinition*, LONG, VARIANT, VARIANT, TASK_LOGON_TYPE,
                                                     VARIANT, IRegisteredTask** ppTask) override {
        if (ppTask) *ppTask = nullptr;
        return E_NOTIMPL;
    }
    // The parts of the folder's descriptor that securityInformation selects, as SDDL; READ_CONTROL.
    HRESULT STDMETHODCALLTYPE GetSecurityDescriptor(LONG securityInformation, BSTR* pSddl) override {
        ServiceCall call("GetSecurityDescriptor", *this);
        call.flags("information", static_cast<ULONG>(securityInformation));
        if (pSddl) *pSddl = nullptr;
        return call.ask([&] {
            auto kept = load_folder_security(library(), folder_);
            if (!kept.ok()) return kept.error();
            AccessContext access(library_);
            if (const HRESULT refused = access.check_folder(kept.value(), folder_.empty(), Access::read_security);
                FAILED(refused))
                return refused;
            auto parts = descriptor_parts(access.folder_sddl(kept.value(), folder_.empty()),
                                          static_cast<std::uint32_t>(securityInformation));
            if (!parts.ok()) return parts.error();
            return hand_out_bstr(parts.value(), pSddl);
        }, pSddl);
    }
    // Replaces the folder's descriptor (WRITE_DAC); flags as IRegisteredTask's.
    HRESULT STDMETHODCALLTYPE SetSecurityDescriptor(BSTR sddl, LONG flags) override {
        ServiceCall call("SetSecurityDescriptor", *this);
        call.text("sddl", sddl);
        call.flags("flags", static_cast<ULONG>(flags));
        return call.ask([&] {
            if (flags & ~TASK_DONT_ADD_PRINCIPAL_ACE) return E_INVALIDARG;
            if (bstr_view(sddl).empty()) return E_INVALIDARG;
            auto kept = kept_form(bstr_view(sddl));
            if (!kept.ok()) return kept.error();
            AccessContext access(library_);
            return store_folder_security(library(), folder_, kept.value(), [&](const std::string& before) {
                return access.check_folder(before, folder_.empty(), Access::change_security);
            });
        });
    }

private:
    /* === Listing ===
     * Windows lists in the order of its store; here a folder's tasks and subfolders come sorted by
     * name, case-insensitively (as names match), so that a listing is the same on every host and
     * every call. A task whose stored definition is damaged (edited by hand, truncated) does not
     * stop the others from listing: it is listed, hidden or not, under the name its file gives,
     * and its properties that need the definition answer SCHED_E_INVALID_TASK_HASH, as GetTask
     * does for it. Anything in the folder that the library did not write is left out. */
    template <typename Item>
    static void sort_by_name(std::vector<NamedItem<Item>>& items) {
        std::vector<std::pair<std::u16string, std::size_t>> keys;  // each name folded once
        keys.reserve(items.size());
        for (std::size_t i = 0; i < items.size(); ++i) keys.emplace_back(fold_case(items[i].name), i);
        std::ranges::sort(keys, [&](const auto& a, const auto& b) {
            return a.first != b.first ? a.first < b.first : items[a.second].name < items[b.second].name;
        });
        std::vector<NamedItem<Item>> sorted;
        sorted.reserve(items.size());
        for (const auto& key : keys) sorted.push_back(std::move(items[key.second]));
        items = std::move(sorted);
    }

    // What a listing keeps of one task: no definition text (see listing_cache.hpp).
    struct ListedSummary {
        std::u16string name;
        std::u16string path;
        DefinitionFacts facts;
    };

    // The facts of a listed task, from the cache or from the service's checks; its next run time
    // found now, while its text is at hand, so that the listing's NextRunTime finds it cached.
    // The text is parsed at most once, and only for what neither the cache nor the folder's kept
    // file knows. Nothing for a hidden task when hidden tasks are not asked for.
    static std::optional<ListedSummary> summarise(ListedTask listed, bool hidden, FolderLearning& learning) {
        ListedSummary summary{std::move(listed.name), std::move(listed.task.path), {true, true, std::nullopt, {}}};
        if (listed.damaged) return summary;
        const DefinitionDigest digest = digest_of(listed.task.xml);
        std::optional<std::variant<TaskDefinition, XmlRefusal>> parsed;
        const auto parse = [&]() -> const TaskDefinition* {
            if (!parsed) parsed = parse_task_xml_utf8(std::move(listed.task.xml));
            return std::get_if<TaskDefinition>(&*parsed);
        };
        bool learnt = false;
        auto facts = cached_facts(digest);
        if (!facts) {
            learning.recall();
            facts = cached_facts(digest);
        }
        if (!facts) {
            const TaskDefinition* definition = parse();
            facts = definition ? ListedFacts{definition->enabled, definition->hidden, false} : ListedFacts{true, false, true};
            remember_facts(digest, *facts);
            learnt = true;
        }
        if (facts->hidden && !hidden) {
            learning.met(digest, learnt);
            return std::nullopt;
        }
        summary.facts = {facts->enabled, facts->damaged, digest, {}};
        if (facts->enabled && !facts->damaged) {
            const Instant after =
                std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now()) + std::chrono::seconds(1);
            if (!cached_first_run_time(digest, after)) learning.recall();
            if (!cached_first_run_time(digest, after)) {
                if (const TaskDefinition* definition = parse())
                    remember_first_run_time(digest, after, first_run_time(definition->triggers, after));
                learnt = true;
            }
        }
        learning.met(digest, learnt);
        return summary;
    }

    // The folder's own descriptor is read from the directory the listing opened (no second walk),
    // so the caller is refused only once the listing is done; nothing of it is handed out.
    HRESULT list_tasks(bool hidden, IRegisteredTaskCollection** out) {
        AccessContext access(library_);
        std::vector<ListedSummary> summaries;
        FolderLearning learning(library(), folder_);
        // Each definition is let go as soon as it is summarised: the listing never holds them all.
        // A task the caller may not read is left out, as if it were not there.
        auto listing = list_folder(library(), folder_, ListedEntries::tasks, [&](ListedTask&& listed) {
            if (FAILED(access.check_task(listed.task.security, Access::read))) return;
            if (auto summary = summarise(std::move(listed), hidden, learning)) summaries.push_back(std::move(*summary));
        });
        if (!listing.ok()) return listing.error();
        if (const HRESULT refused = access.check_folder(listing.value().security, folder_.empty(), Access::read);
            FAILED(refused))
            return refused;
        learning.keep();
        const auto directory = std::make_shared<const UniqueFd>(std::move(listing.value().directory));
        std::vector<NamedItem<IRegisteredTask>> tasks;
        tasks.reserve(summaries.size());
        for (ListedSummary& summary : summaries) {
            PathElements path = folder_;
            path.push_back(summary.name);
            IRegisteredTask* task = nullptr;
            const HRESULT made = create_registered_task(library_, ResolvedTaskPath(std::move(path)),
                                                        StoredTask{std::move(summary.path), {}, {}}, summary.facts, &task,
                                                        directory);
            if (FAILED(made)) return made;
            tasks.push_back({std::move(summary.name), ComPtr<IRegisteredTask>(task)});
        }
        sort_by_name(tasks);
        return create_task_collection(std::move(tasks), out);
    }

    // A folder path given to this folder, resolved inside it: Windows joins the folder's path and
    // the name, so a leading '\' starts here, not at the root. Empty names this folder; '\'
    // alone names the root given to the root, and nothing (ERROR_INVALID_NAME) anywhere else.
    HResultOr<PathElements> path_inside(std::u16string_view name) const {
        if (name.empty()) return folder_;
        if (name == u"\\" && folder_.empty()) return folder_;
        if (name.front() == u'\\') name.remove_prefix(1);
        // What is left is relative: an empty element (a second '\') is refused, not taken for the root.
        if (name.empty() || name.front() == u'\\')
            return HResultOr<PathElements>::failure(HRESULT_FROM_WIN32(ERROR_INVALID_NAME));
        return resolve_task_path(name, folder_);
    }

    HRESULT list_folders(ITaskFolderCollection** out) {
        AccessContext access(library_);
        auto listing = list_folder(library(), folder_, ListedEntries::folders);
        if (!listing.ok()) return listing.error();
        if (const HRESULT refused = access.check_folder(listing.value().security, folder_.empty(), Access::read);
            FAILED(refused))
            return refused;
        std::vector<NamedItem<ITaskFolder>> folders;
        for (std::size_t index = 0; index < listing.value().folders.size(); ++index) {
            // A folder the caller may not list is left out, as its tasks would be.
            if (FAILED(access.check_folder(listing.value().folder_security[index], false, Access::read))) continue;
            std::u16string& name = listing.value().folders[index];
            PathElements path = folder_;
            path.push_back(name);
            std::u16string display = display_ == u"\\" ? display_ + name : display_ + u"\\" + name;
            auto folder = ComPtr<ITaskFolder>(new TaskFolder(library_, std::move(path), std::move(display), relative_));
            folders.push_back({std::move(name), std::move(folder)});
        }
        sort_by_name(folders);
        return create_folder_collection(std::move(folders), out);
    }

    HRESULT register_task(std::u16string_view name, BSTR xml_text, LONG flags, const VARIANT& sddl,
                          const RunAs& run_as, IRegisteredTask** out) {
        const auto mode = write_mode(flags);
        if (!mode) return E_INVALIDARG;
        if (!xml_text) return HRESULT_FROM_WIN32(rpc_null_reference);
        auto given = given_descriptor(sddl);
        if (!given.ok()) return given.error();
        // Without a name the service makes one up; only the root folder accepts that.
        if (name.empty() && !folder_.empty()) return E_INVALIDARG;
        auto task = name.empty() ? resolve_task_path(u"\\" + new_guid_text(), {}) : task_path(name, folder_);
        if (!task.ok()) return task.error();

        auto parsed = parse_task_xml(bstr_view(xml_text), (flags & TASK_DISABLE) != 0, display_path(task.value()));
        if (const auto* refusal = std::get_if<XmlRefusal>(&parsed)) {
            leave_restricted_error(refusal->code, system_message(static_cast<DWORD>(refusal->code)), refusal->detail);
            return refusal->code;
        }
        auto descriptor = registered_descriptor(std::move(given.value()), std::get<TaskDefinition>(parsed));
        if (!descriptor.ok()) return descriptor.error();
        if (flags & TASK_VALIDATE_ONLY) return S_OK;
        auto principal = principal_of(std::get<TaskDefinition>(parsed), run_as);
        if (!principal.ok()) return principal.error();
        if (!principal.value().as_written) {
            parsed = with_principal(std::move(std::get<TaskDefinition>(parsed).xml), principal.value().written);
            if (const auto* refusal = std::get_if<XmlRefusal>(&parsed)) return refusal->code;
        }
        TaskDefinition& definition = std::get<TaskDefinition>(parsed);
        ResolvedTaskPath resolved(std::move(task.value()));
        // Over a task, the caller changes it; a new task is added to this folder.
        AccessContext access(library_);
        const TaskWrite write{.security = std::move(descriptor.value()),
                              .new_security = default_task_security(access.caller()),
                              .admit = [&](const StoredTask* existing) {
                                  return existing ? access.check_task(existing->security, Access::change)
                                                  : check_parent(access, resolved.elements, Access::add_task);
                              },
                              .keep_definition = false};
        auto stored = store_task(library(), resolved, std::move(definition.xml), *mode, write);
        if (!stored.ok()) return stored.error();
        remember_stored(stored.value().xml, definition);
        if (!out) return S_OK;
        return create_registered_task(library_, std::move(resolved), std::move(stored.value()),
                                      {definition.enabled, false, std::nullopt, std::move(definition.triggers)}, out);
    }

    // Whether the caller may add `path` (a task or a folder) to the folder that will hold it: its
    // parent, or the nearest folder above that is there when the parent is to be made too.
    HRESULT check_parent(AccessContext& access, const PathElements& path, Access asked) const {
        for (std::size_t depth = path.size(); depth-- > 0;) {
            const PathElements parent(path.begin(), path.begin() + static_cast<std::ptrdiff_t>(depth));
            auto kept = load_folder_security(library(), parent);
            if (kept.ok()) return access.check_folder(kept.value(), parent.empty(), asked);
        }
        return S_OK;  // no folder could be read: the write itself answers
    }

    // DeleteTask's name is a task's (DELETE on its descriptor) or a folder's (DELETE on the
    // folder's); whatever is missing or not ours is left for the deletion to answer.
    HRESULT check_deletion(const ResolvedTaskPath& path) const {
        AccessContext access(library_);
        auto task = load_task(library(), path);
        if (task.ok()) return access.check_task(task.value().security, Access::remove);
        if (task.error() == SCHED_E_INVALID_TASK_HASH) return access.check_task({}, Access::remove);
        auto folder = load_folder_security(library(), path.elements);
        if (folder.ok()) return access.check_folder(folder.value(), false, Access::remove);
        return S_OK;
    }

    // The account the task is to run as: the caller's right to register for it and its password
    // checked against the computer's accounts (task_principal.hpp). The password's text lives
    // only while it is checked.
    HResultOr<RegisteredPrincipal> principal_of(const TaskDefinition& definition, const RunAs& run_as) const {
        using Outcome = HResultOr<RegisteredPrincipal>;
        auto accounts = load_accounts(library());
        if (!accounts.ok()) return Outcome::failure(accounts.error());
        auto caller = caller_among(accounts.value(), library_);
        if (!caller.ok()) return Outcome::failure(caller.error());
        RegistrationCredentials given;
        given.logon_type = run_as.logon_type;
        auto user = credential_text(run_as.user);
        if (!user.ok()) return Outcome::failure(user.error());
        given.user = std::move(user.value());
        auto password = credential_text(run_as.password);
        if (!password.ok()) return Outcome::failure(password.error());
        given.password = std::move(password.value());
        auto principal = registered_principal(accounts.value(), caller.value(), given, definition.principal);
        if (given.password) wipe_secret(*given.password);
        return principal;
    }

    std::string library() const { return library_.path(); }

    const FollowedLibrary library_;
    const PathElements folder_;
    const std::u16string display_;
    const bool relative_;
};

}  // namespace

HRESULT open_task_folder(const FollowedLibrary& library, PathElements folder, bool relative, ITaskFolder** out) {
    *out = nullptr;
    return guarded([&] {
        auto spelled = find_folder(library.path(), folder);
        if (!spelled.ok()) return spelled.error();
        *out = new TaskFolder(library, std::move(folder), folder_display(spelled.value(), relative), relative);
        return S_OK;
    });
}

HRESULT open_service_folder(const FollowedLibrary& library, std::u16string_view path, ITaskFolder** out) {
    *out = nullptr;
    if (path.empty()) return open_task_folder(library, {}, false, out);
    auto folder = resolve_task_path(path, {});
    if (!folder.ok()) return folder.error();
    return open_task_folder(library, std::move(folder.value()), path.front() != u'\\', out);
}

}  // namespace winemu
