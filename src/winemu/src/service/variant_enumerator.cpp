// variant_enumerator.cpp: IEnumVARIANT over a snapshot of a collection's items.
#include "service/variant_enumerator.hpp"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <utility>

#include "base/object_identity.hpp"
#include "com/com_guard.hpp"
#include "com/com_object.hpp"
#include "com/journaled_references.hpp"
#include "service/service_call.hpp"
#include "service/service_generation.hpp"

namespace winemu {
namespace {

using Items = std::vector<ComPtr<IDispatch>>;

// Not an IDispatch, so not a ServiceObject: the same frame (ServiceCall) all the same, so that it
// is refused from another apartment and after the service went away, faulted and journaled as
// every object of the service is. The position is the only state that changes; several threads of
// the multithreaded apartment may move it at once.
class VariantEnumerator final : public IEnumVARIANT, public IdentifiedObject {
public:
    VariantEnumerator(std::shared_ptr<const Items> items, std::size_t position)
        : items_(std::move(items)), position_(position) {}
    VariantEnumerator(const VariantEnumerator&) = delete;
    VariantEnumerator& operator=(const VariantEnumerator&) = delete;

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        PlatformCall call("QueryInterface", identity_, ErrorInfoUse::keeps);
        if (const auto refused = call.refusal()) {
            if (ppvObject) *ppvObject = nullptr;
            return call.returns(*refused);
        }
        const bool offered = IsEqualIID(riid, IID_IUnknown) || IsEqualIID(riid, IID_IEnumVARIANT);
        return call.returns(answer_query(offered ? static_cast<IEnumVARIANT*>(this) : nullptr, ppvObject));
    }
    ULONG STDMETHODCALLTYPE AddRef() override {
        return journaled_add_ref(references_, identity_, ErrorInfoUse::discards);
    }
    ULONG STDMETHODCALLTYPE Release() override {
        return journaled_release(references_, identity_, ErrorInfoUse::discards, [this] { delete this; });
    }

    // Fewer items than asked for (none at the end) is S_FALSE. At the end nothing is written, so
    // that a null array is no error there, as Windows answers; before it, a null array is E_POINTER.
    HRESULT STDMETHODCALLTYPE Next(ULONG celt, VARIANT* rgVar, ULONG* pCeltFetched) override {
        ServiceCall call("Next", *this);
        call.number("celt", celt);
        if (pCeltFetched) *pCeltFetched = 0;
        return call.answer_locally([&] {
            const std::lock_guard lock(position_mutex_);
            const std::size_t count = std::min<std::size_t>(celt, items_->size() - position_);
            if (count > 0 && !rgVar) return E_POINTER;
            for (std::size_t i = 0; i < count; ++i) {
                IDispatch* item = (*items_)[position_ + i].get();
                item->AddRef();
                VariantInit(&rgVar[i]);
                rgVar[i].vt = VT_DISPATCH;
                rgVar[i].pdispVal = item;
            }
            position_ += count;
            if (pCeltFetched) *pCeltFetched = static_cast<ULONG>(count);
            return count == celt ? S_OK : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE Skip(ULONG celt) override {
        ServiceCall call("Skip", *this);
        call.number("celt", celt);
        return call.answer_locally([&] {
            const std::lock_guard lock(position_mutex_);
            const std::size_t count = std::min<std::size_t>(celt, items_->size() - position_);
            position_ += count;
            return count == celt ? S_OK : S_FALSE;
        });
    }

    HRESULT STDMETHODCALLTYPE Reset() override {
        ServiceCall call("Reset", *this);
        return call.answer_locally([&] {
            const std::lock_guard lock(position_mutex_);
            position_ = 0;
            return S_OK;
        });
    }

    HRESULT STDMETHODCALLTYPE Clone(IEnumVARIANT** ppEnum) override {
        ServiceCall call("Clone", *this);
        if (ppEnum) *ppEnum = nullptr;
        const HRESULT result = call.answer_locally(
            [&] {
                const std::lock_guard lock(position_mutex_);
                *ppEnum = new VariantEnumerator(items_, position_);
                return S_OK;
            },
            ppEnum);
        call.object("enumerator", ppEnum ? *ppEnum : nullptr);
        return result;
    }

    const ObjectIdentity& identity() const noexcept override { return identity_; }
    std::optional<HRESULT> disconnection() const noexcept { return disconnection_since(generation_); }
    // Made by the caller's side from a snapshot: it waits no computer's latency.
    const std::shared_ptr<const Computer>& computer() const noexcept { return no_computer_; }

private:
    ~VariantEnumerator() = default;

    const std::shared_ptr<const Items> items_;
    std::mutex position_mutex_;
    std::size_t position_;
    ReferenceCount references_;
    const ObjectIdentity identity_{"IEnumVARIANT", false};
    const std::uint64_t generation_ = service_generation();
    const std::shared_ptr<const Computer> no_computer_;
};

}  // namespace

HRESULT create_variant_enumerator(std::vector<ComPtr<IDispatch>> items, IUnknown** out) {
    *out = nullptr;
    return guarded([&] {
        auto shared = std::make_shared<const Items>(std::move(items));
        *out = static_cast<IEnumVARIANT*>(new VariantEnumerator(std::move(shared), 0));
        return S_OK;
    });
}

}  // namespace winemu
