// error_object.cpp: the error object class: IErrorInfo alone (plain) or with the restricted interfaces.
#include "com/error_object.hpp"

#include <initializer_list>
#include <new>
#include <string>

#include <winemu/restricted_error.h>

#include "com/bstr_alloc.hpp"
#include "com/com_object.hpp"
#include "com/journaled_references.hpp"
#include "control/faults.hpp"
#include "base/object_identity.hpp"
#include "control/platform_call.hpp"

namespace winemu {
namespace {

using OptionalText = std::optional<std::u16string>;

OptionalText copy_text(std::optional<std::u16string_view> text) {
    if (!text) return std::nullopt;
    return std::u16string(*text);
}

// A BSTR of the text, or the null BSTR for a missing text. False when memory runs out.
bool bstr_of(const OptionalText& text, BSTR* out) noexcept {
    *out = nullptr;
    if (!text) return true;
    *out = alloc_bstr(*text);
    return *out != nullptr;
}

// One class for both kinds: a plain object simply refuses the restricted interfaces. It may be
// read from any thread (it is agile), but only while the apartment it was made in lives. None
// of its methods touches the thread's error object.
class ErrorObject final : public IErrorInfo,
                          public IRestrictedErrorInfo,
                          public ILanguageExceptionErrorInfo2,
                          public IdentifiedObject {
public:
    enum class Kind { plain, restricted };

    ErrorObject(Kind kind, HRESULT error, OptionalText description, OptionalText restricted_description)
        : kind_(kind),
          error_(error),
          description_(std::move(description)),
          restricted_description_(std::move(restricted_description)),
          identity_(kind == Kind::restricted ? "IRestrictedErrorInfo" : "IErrorInfo", true) {}

    const ObjectIdentity& identity() const noexcept override { return identity_; }

    // ---- IUnknown (shared by all three bases; IErrorInfo is the identity) ----
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        PlatformCall call("QueryInterface", identity_, ErrorInfoUse::keeps);
        return call.returns(answer_query(offered_interface(riid), ppvObject));
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return journaled_add_ref(references_, identity_, ErrorInfoUse::keeps); }
    ULONG STDMETHODCALLTYPE Release() override {
        return journaled_release(references_, identity_, ErrorInfoUse::keeps, [this] { delete this; });
    }

    // ---- IErrorInfo ----
    HRESULT STDMETHODCALLTYPE GetGUID(GUID* pGUID) override {
        if (!pGUID) return E_POINTER;
        *pGUID = GUID{};
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSource(BSTR* pBstrSource) override { return give_nothing(pBstrSource); }
    HRESULT STDMETHODCALLTYPE GetDescription(BSTR* pBstrDescription) override {
        PlatformCall call("GetDescription", identity_, ErrorInfoUse::keeps);
        if (pBstrDescription) *pBstrDescription = nullptr;
        if (const auto fault = enter_call("GetDescription")) return call.returns(*fault);
        if (!pBstrDescription) return call.returns(E_POINTER);
        return call.returns(bstr_of(visible_description(), pBstrDescription) ? S_OK : E_OUTOFMEMORY);
    }
    HRESULT STDMETHODCALLTYPE GetHelpFile(BSTR* pBstrHelpFile) override { return give_nothing(pBstrHelpFile); }
    HRESULT STDMETHODCALLTYPE GetHelpContext(DWORD* pdwHelpContext) override {
        if (!pdwHelpContext) return E_POINTER;
        *pdwHelpContext = 0;
        return S_OK;
    }

    // ---- IRestrictedErrorInfo ----
    HRESULT STDMETHODCALLTYPE GetErrorDetails(BSTR* description, HRESULT* error, BSTR* restrictedDescription,
                                              BSTR* capabilitySid) override {
        PlatformCall call("GetErrorDetails", identity_, ErrorInfoUse::keeps);
        return call.returns(error_details(description, error, restrictedDescription, capabilitySid));
    }
    HRESULT error_details(BSTR* description, HRESULT* error, BSTR* restrictedDescription, BSTR* capabilitySid) {
        for (BSTR* out : {description, restrictedDescription, capabilitySid})
            if (out) *out = nullptr;
        if (error) *error = S_OK;
        if (const auto fault = enter_call("GetErrorDetails")) return *fault;
        if (!description || !error || !restrictedDescription || !capabilitySid) return E_POINTER;
        if (!bstr_of(description_, description)) return E_OUTOFMEMORY;
        if (!bstr_of(restricted_description_, restrictedDescription)) {
            SysFreeString(*description);
            *description = nullptr;
            return E_OUTOFMEMORY;
        }
        *error = error_;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetReference(BSTR* reference) override { return give_nothing(reference); }

    // ---- ILanguageExceptionErrorInfo(2): no language exception is ever attached ----
    HRESULT STDMETHODCALLTYPE GetLanguageException(IUnknown** languageException) override {
        return give_nothing(languageException);
    }
    HRESULT STDMETHODCALLTYPE GetPreviousLanguageExceptionErrorInfo(ILanguageExceptionErrorInfo2** previous) override {
        return give_nothing(previous);
    }
    HRESULT STDMETHODCALLTYPE CapturePropagationContext(IUnknown* /*languageException*/) override {
        // The propagation context would only matter to a debugger; there is nothing to record.
        PlatformCall call("CapturePropagationContext", identity_, ErrorInfoUse::keeps);
        if (const auto fault = enter_call("CapturePropagationContext")) return call.returns(*fault);
        return call.returns(S_OK);
    }
    HRESULT STDMETHODCALLTYPE GetPropagationContextHead(ILanguageExceptionErrorInfo2** head) override {
        return give_nothing(head);
    }

private:
    ~ErrorObject() = default;

    // The interface this object offers for the IID, or null.
    IUnknown* offered_interface(REFIID riid) {
        if (riid == IID_IUnknown || riid == IID_IErrorInfo) return static_cast<IErrorInfo*>(this);
        if (kind_ != Kind::restricted) return nullptr;
        if (riid == IID_IRestrictedErrorInfo) return static_cast<IRestrictedErrorInfo*>(this);
        if (riid == IID_ILanguageExceptionErrorInfo || riid == IID_ILanguageExceptionErrorInfo2)
            return static_cast<ILanguageExceptionErrorInfo2*>(this);
        return nullptr;
    }

    // Windows shows a restricted object's restricted description through IErrorInfo when there is one.
    const OptionalText& visible_description() const {
        const bool has_restricted = restricted_description_ && !restricted_description_->empty();
        return kind_ == Kind::restricted && has_restricted ? restricted_description_ : description_;
    }

    // For the out values that this object never has anything for: a null BSTR or interface.
    template <typename Pointee>
    static HRESULT give_nothing(Pointee** out) {
        if (!out) return E_POINTER;
        *out = nullptr;
        return S_OK;
    }

    ReferenceCount references_;
    const Kind kind_;
    const HRESULT error_;
    const OptionalText description_;
    const OptionalText restricted_description_;
    const ObjectIdentity identity_;
};

}  // namespace

IErrorInfo* new_restricted_error_object(HRESULT error, std::optional<std::u16string_view> description,
                                        std::optional<std::u16string_view> restricted_description) noexcept {
    try {
        return new ErrorObject(ErrorObject::Kind::restricted, error, copy_text(description),
                               copy_text(restricted_description));
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

IErrorInfo* new_plain_error_object(std::u16string_view description) noexcept {
    try {
        return new ErrorObject(ErrorObject::Kind::plain, S_OK, std::u16string(description), std::nullopt);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

}  // namespace winemu
