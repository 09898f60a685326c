// run_parameters_variant.cpp: the VARIANT that RunEx takes for its parameters, owned.
#include "scheduler/run_parameters_variant.hpp"

#include <string_view>

#include "runtime/internal_failure.hpp"
#include "scheduler/empty_variant.hpp"
#include "scheduler/platform_error.hpp"
#include "scheduler/to_bstr.hpp"

namespace morvane::scheduler {
namespace {

// The wording of to_bstr's failure, so that every allocation the client cannot make reads alike.
[[noreturn]] void fail_allocation(HRESULT code) {
    throw InternalFailure("called `Result::unwrap()` on an `Err` value: " +
                          PlatformError::from_hresult(code).debug_text());
}

// Gives the array's data back, on every way out of the filling.
struct DataAccess {
    SAFEARRAY* array;
    ~DataAccess() { SafeArrayUnaccessData(array); }
};

}  // namespace

RunParametersVariant::Cleared::Cleared() noexcept : value(empty_variant()) {}
RunParametersVariant::Cleared::~Cleared() { VariantClear(&value); }

RunParametersVariant::RunParametersVariant(const std::optional<std::vector<std::string>>& values) {
    if (!values || values->empty()) return;
    SAFEARRAY* array = SafeArrayCreateVector(VT_BSTR, 0, static_cast<ULONG>(values->size()));
    if (!array) fail_allocation(E_OUTOFMEMORY);
    owned_.value.vt = static_cast<VARTYPE>(VT_ARRAY | VT_BSTR);
    owned_.value.parray = array;  // owned from here: its BSTRs go with it
    void* data = nullptr;
    if (const HRESULT outcome = SafeArrayAccessData(array, &data); FAILED(outcome)) fail_allocation(outcome);
    const DataAccess access{array};
    auto* texts = static_cast<BSTR*>(data);
    for (std::size_t i = 0; i < values->size(); ++i) texts[i] = to_bstr((*values)[i]).detach();
}

}  // namespace morvane::scheduler
