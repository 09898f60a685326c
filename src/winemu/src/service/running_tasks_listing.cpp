// running_tasks_listing.cpp: the instances of every task of the library, as GetRunningTasks lists them.
#include "service/running_tasks_listing.hpp"

#include <algorithm>
#include <variant>

#include "launch/task_state.hpp"
#include "library/task_store.hpp"
#include "library/task_xml.hpp"
#include "service/listing_cache.hpp"
#include "service/running_task.hpp"
#include "service/task_access.hpp"

namespace winemu {
namespace {

// What the walk keeps of a task until its folder's listing is done: no definition text.
struct ListedName {
    std::u16string name;
    std::u16string path;
};

// Whether the definition says Hidden, from the listing cache or from one parse (then kept). A
// definition the checks refuse is no hidden one: its instances are listed as a listing lists it.
bool is_hidden(std::string xml) {
    const DefinitionDigest digest = digest_of(xml);
    if (const auto facts = cached_facts(digest)) return facts->hidden && !facts->damaged;
    const auto parsed = parse_task_xml_utf8(std::move(xml));
    const auto* definition = std::get_if<TaskDefinition>(&parsed);
    const ListedFacts facts = definition ? ListedFacts{definition->enabled, definition->hidden, false}
                                         : ListedFacts{true, false, true};
    remember_facts(digest, facts);
    return facts.hidden && !facts.damaged;
}

// The folder's tasks' instances, then its subfolders', depth first; only those of tasks the caller
// may read. A folder removed while it is walked is skipped; any other failure ends the listing.
HRESULT add_folder(const FollowedLibrary& library, const std::string& root, const PathElements& folder, bool hidden,
                   AccessContext& access, std::vector<ComPtr<IRunningTask>>& items) {
    std::vector<ListedName> names;
    auto listing = list_folder(root, folder, ListedEntries::tasks, [&](ListedTask&& listed) {
        if (FAILED(access.check_task(listed.task.security, Access::read))) return;
        if (!listed.damaged && !hidden && is_hidden(std::move(listed.task.xml))) return;
        names.push_back({std::move(listed.name), std::move(listed.task.path)});
    });
    if (!listing.ok()) return listing.error();
    std::ranges::sort(names, {}, [](const ListedName& named) { return fold_case(named.name); });
    const UniqueFd& directory = listing.value().directory;
    for (ListedName& named : names) {
        PathElements elements = folder;
        elements.push_back(std::move(named.name));
        ResolvedTaskPath path(std::move(elements));
        const TaskRunState state = task_run_state(open_task_runs_in(directory.get(), path.entries.back()));
        for (RunningInstance& instance : running_instances(state, named.path)) {
            IRunningTask* item = nullptr;
            if (const HRESULT made = create_running_task(library, path, std::move(instance), &item); FAILED(made))
                return made;
            items.emplace_back(item);
        }
    }
    auto subfolders = list_folder(root, folder, ListedEntries::folders);
    if (!subfolders.ok()) return subfolders.error();
    std::vector<std::u16string>& found = subfolders.value().folders;
    std::ranges::sort(found, {}, fold_case);
    for (std::u16string& name : found) {
        PathElements below = folder;
        below.push_back(std::move(name));
        const HRESULT added = add_folder(library, root, below, hidden, access, items);
        if (added == HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND) || added == HRESULT_FROM_WIN32(ERROR_PATH_NOT_FOUND))
            continue;
        if (FAILED(added)) return added;
    }
    return S_OK;
}

}  // namespace

HRESULT list_running_tasks(const FollowedLibrary& library, bool hidden, IRunningTaskCollection** out) {
    std::vector<ComPtr<IRunningTask>> items;
    AccessContext access(library);
    const HRESULT listed = add_folder(library, library.path(), {}, hidden, access, items);
    // A library not made yet has no tasks, hence no instances.
    if (FAILED(listed) && listed != HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND)) return listed;
    return create_running_task_collection(std::move(items), out);
}

}  // namespace winemu
