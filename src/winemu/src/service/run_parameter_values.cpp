// run_parameter_values.cpp: the values that Run and RunEx take for $(Arg0) to $(Arg31).
#include "service/run_parameter_values.hpp"

#include "base/utf.hpp"
#include "com/bstr_text.hpp"
#include "launch/run_parameters.hpp"

namespace winemu {
namespace {

using Values = HResultOr<std::vector<std::string>>;

// The array is read as the service reads what the RPC layer unmarshalled: its descriptor and
// data, without calls back into the platform (which would land in the caller's journal).
Values array_values(const SAFEARRAY* array, VARTYPE element) {
    if (!array || array->cDims != 1) return Values::failure(E_INVALIDARG);
    const ULONG count = array->rgsabound[0].cElements;
    if (count > most_run_parameters) return Values::failure(E_INVALIDARG);
    std::vector<std::string> values;
    values.reserve(count);
    for (ULONG i = 0; i < count; ++i) {
        BSTR text = nullptr;
        if (element == VT_BSTR) {
            text = static_cast<const BSTR*>(array->pvData)[i];
        } else {
            const VARIANT& value = static_cast<const VARIANT*>(array->pvData)[i];
            if (value.vt != VT_BSTR) return Values::failure(E_INVALIDARG);
            text = value.bstrVal;
        }
        values.push_back(utf8_from_utf16_lossy(bstr_view(text)));
    }
    return values;
}

}  // namespace

Values run_parameter_values(const VARIANT& parameters) {
    switch (parameters.vt) {
    case VT_EMPTY:
    case VT_NULL: return std::vector<std::string>();
    case VT_BSTR: return std::vector<std::string>{utf8_from_utf16_lossy(bstr_view(parameters.bstrVal))};
    case VT_ARRAY | VT_BSTR: return array_values(parameters.parray, VT_BSTR);
    case VT_ARRAY | VT_VARIANT: return array_values(parameters.parray, VT_VARIANT);
    default: return Values::failure(E_INVALIDARG);
    }
}

}  // namespace winemu
