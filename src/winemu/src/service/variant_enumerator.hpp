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

}  // namespace winemu
