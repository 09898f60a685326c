// journaled_references.hpp: AddRef and Release of a winemu COM object, checked and journaled.
#pragma once

#include "com/com_object.hpp"
#include "base/object_identity.hpp"
#include "control/platform_call.hpp"

namespace winemu {

inline ULONG journaled_add_ref(ReferenceCount& references, const ObjectIdentity& identity, ErrorInfoUse use) noexcept {
    PlatformCall call("AddRef", identity, use);
    const ULONG count = references.add();
    call.result(count);
    return count;
}

// Deletes the object with its last reference, inside the call, so that what its destructor
// releases counts as winemu's own work. Even from the wrong thread the reference is given back
// (the violation is recorded), so that a test which misuses an object still leaves nothing behind.
// destroy() deletes the object (its destructor stays private to it).
template <class Destroy>
ULONG journaled_release(ReferenceCount& references, const ObjectIdentity& identity, ErrorInfoUse use,
                        Destroy&& destroy) noexcept {
    PlatformCall call("Release", identity, use);
    const ULONG left = references.release();
    call.result(left);
    if (left == 0) destroy();
    return left;
}

}  // namespace winemu
