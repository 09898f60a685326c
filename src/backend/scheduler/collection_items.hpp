// collection_items.hpp: walking a collection of the service (IRegisteredTaskCollection,
// ITaskFolderCollection) by Count and Item, in its order.
#pragma once

#include "runtime/result.hpp"
#include "scheduler/call_failure.hpp"
#include "scheduler/com_ptr.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/platform.hpp"
#include "scheduler/scheduler_error.hpp"

namespace morvane::scheduler {

// A collection's index: items are numbered from 1, and a VT_I4 index is a position (a VT_BSTR one
// would be a name).
inline VARIANT collection_position(LONG number) noexcept {
    VARIANT index = empty_variant();
    index.vt = VT_I4;
    index.lVal = number;
    return index;
}

// Each item of the collection, in order, handed to visit; the first failure, of the collection or
// of visit, ends the walk.
template <class Item, class Collection, class Visit>
Result<void, SchedulerError> for_each_item(Collection& collection, Visit&& visit) {
    LONG count = 0;
    HRESULT outcome = collection.get_Count(&count);
    if (FAILED(outcome)) return Err{failed_call(outcome, "get_Count")};
    for (LONG number = 1; number <= count; ++number) {
        ComPtr<Item> item;
        outcome = collection.get_Item(collection_position(number), item.put());
        if (FAILED(outcome)) return Err{failed_call(outcome, "get_Item")};
        if (!item) return Err{call_without_object("get_Item")};
        if (Result<void, SchedulerError> visited = visit(*item.get()); !visited) return visited;
    }
    return {};
}

}  // namespace morvane::scheduler
