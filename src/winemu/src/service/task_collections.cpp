// task_collections.cpp: IRegisteredTaskCollection and ITaskFolderCollection over a snapshot.
#include "service/task_collections.hpp"

#include "com/bstr_text.hpp"
#include "com/com_guard.hpp"
#include "library/task_paths.hpp"
#include "service/service_call.hpp"
#include "service/collection_index.hpp"
#include "service/service_object.hpp"
#include "service/variant_enumerator.hpp"

namespace winemu {
namespace {

template <typename Collection, const IID& CollectionIid, typename Item>
class ItemCollection final : public ServiceObject<Collection, CollectionIid> {
public:
    explicit ItemCollection(std::vector<NamedItem<Item>> items) : items_(std::move(items)) {}

    HRESULT STDMETHODCALLTYPE get_Count(LONG* count) override {
        ServiceCall call("get_Count", *this);
        return call.answer_locally([&] {
            *count = static_cast<LONG>(items_.size());
            return S_OK;
        }, count);
    }

    // An index that names no item, a position out of 1..Count or a name not in the collection,
    // is answered E_INVALIDARG, as Windows answers positions 0 and Count + 1.
    HRESULT STDMETHODCALLTYPE get_Item(VARIANT index, Item** item) override {
        ServiceCall call("get_Item", *this);
        call.variant("index", index);
        if (item) *item = nullptr;
        const HRESULT result = call.answer_locally([&] {
            Item* found = find(index);
            if (!found) return E_INVALIDARG;
            found->AddRef();
            *item = found;
            return S_OK;
        }, item);
        call.object("item", item ? *item : nullptr);
        return result;
    }

    // An enumerator over the same snapshot, each item one more reference; the collection itself
    // is no IEnumVARIANT (QueryInterface refuses it), as on Windows.
    HRESULT STDMETHODCALLTYPE get__NewEnum(IUnknown** penum) override {
        ServiceCall call("get__NewEnum", *this);
        if (penum) *penum = nullptr;
        const HRESULT result = call.answer_locally([&] {
            return create_variant_enumerator(items_, [](const auto& named) { return named.item.get(); }, penum);
        }, penum);
        call.object("enumerator", penum ? *penum : nullptr);
        return result;
    }

private:
    Item* find(const VARIANT& index) const {
        if (const auto position = integer_index(index)) {
            if (*position < 1 || *position > static_cast<long long>(items_.size())) return nullptr;
            return items_[static_cast<std::size_t>(*position - 1)].item.get();
        }
        if (index.vt != VT_BSTR) return nullptr;
        const std::u16string wanted = fold_case(bstr_view(index.bstrVal));
        for (const auto& named : items_)
            if (fold_case(named.name) == wanted) return named.item.get();
        return nullptr;
    }

    const std::vector<NamedItem<Item>> items_;
};

}  // namespace

HRESULT create_task_collection(std::vector<NamedItem<IRegisteredTask>> tasks, IRegisteredTaskCollection** out) {
    return guarded([&] {
        *out = new ItemCollection<IRegisteredTaskCollection, IID_IRegisteredTaskCollection, IRegisteredTask>(
            std::move(tasks));
        return S_OK;
    });
}

HRESULT create_folder_collection(std::vector<NamedItem<ITaskFolder>> folders, ITaskFolderCollection** out) {
    return guarded([&] {
        *out = new ItemCollection<ITaskFolderCollection, IID_ITaskFolderCollection, ITaskFolder>(std::move(folders));
        return S_OK;
    });
}

}  // namespace winemu
