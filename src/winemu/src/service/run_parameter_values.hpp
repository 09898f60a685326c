// run_parameter_values.hpp: the values that Run and RunEx take for $(Arg0) to $(Arg31).
#pragma once

#include <string>
#include <vector>

#include <winemu/types.h>

#include "com/hresult_or.hpp"

namespace winemu {

// As Microsoft documents IRegisteredTask::Run: VT_EMPTY or VT_NULL for none, a BSTR for one, or a
// one-dimensional array of BSTRs (or of VARIANTs holding BSTRs) for several, at most 32; the
// values as UTF-8. Anything else, or more values, answers E_INVALIDARG.
HResultOr<std::vector<std::string>> run_parameter_values(const VARIANT& parameters);

}  // namespace winemu
