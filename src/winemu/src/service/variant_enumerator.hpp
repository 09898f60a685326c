// variant_enumerator.hpp: IEnumVARIANT over a snapshot of a collection's items, what the
// collections' _NewEnum hands out.
#pragma once

#include <vector>

#include <winemu/com.h>

#include "com/com_ptr.hpp"

namespace winemu {

// A new enumerator (one reference, as IUnknown) in *out over `items`, in their order, each handed
// out by Next as VT_DISPATCH with a reference of its own. Clones share the items and start where
// the enumerator stands.
HRESULT create_variant_enumerator(std::vector<ComPtr<IDispatch>> items, IUnknown** out);

// The same over a collection's items, each reached as IDispatch through `dispatch_of(item)`.
template <typename Items, typename DispatchOf>
HRESULT create_variant_enumerator(const Items& items, DispatchOf dispatch_of, IUnknown** out) {
    std::vector<ComPtr<IDispatch>> held;
    held.reserve(items.size());
    for (const auto& item : items) {
        IDispatch* dispatch = dispatch_of(item);
        dispatch->AddRef();
        held.emplace_back(dispatch);
    }
    return create_variant_enumerator(std::move(held), out);
}

}  // namespace winemu
