// task_collections.hpp: the collections that GetTasks and GetFolders hand out.
#pragma once

#include <string>
#include <vector>

#include <winemu/taskschd.h>

#include "com/com_ptr.hpp"

namespace winemu {

// One item of a collection and the name a BSTR index finds it by.
template <typename Interface>
struct NamedItem {
    std::u16string name;
    ComPtr<Interface> item;
};

// A new collection (one reference) in *out, holding the items in the order given. It is a
// snapshot: what is registered or deleted afterwards does not change it, as on Windows.
HRESULT create_task_collection(std::vector<NamedItem<IRegisteredTask>> tasks, IRegisteredTaskCollection** out);
HRESULT create_folder_collection(std::vector<NamedItem<ITaskFolder>> folders, ITaskFolderCollection** out);

}  // namespace winemu
