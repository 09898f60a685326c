// run_parameters_variant.hpp: the VARIANT that RunEx takes for its parameters, owned.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "scheduler/platform.hpp"

namespace morvane::scheduler {

// VT_EMPTY for no values (none given, or an empty list); else a VT_ARRAY | VT_BSTR one-dimensional
// array from 0 with one BSTR per value, as Microsoft documents Run's parameters. The VARIANT owns
// the array and its BSTRs, and VariantClear gives them back once, when it goes. An array or a BSTR
// that cannot be allocated is an InternalFailure, as to_bstr's are.
class RunParametersVariant {
public:
    explicit RunParametersVariant(const std::optional<std::vector<std::string>>& values);
    RunParametersVariant(const RunParametersVariant&) = delete;
    RunParametersVariant& operator=(const RunParametersVariant&) = delete;
    ~RunParametersVariant() = default;

    // Passed by value to RunEx, which copies nothing it keeps.
    const VARIANT& get() const noexcept { return owned_.value; }

private:
    struct Cleared {
        VARIANT value;
        Cleared() noexcept;
        Cleared(const Cleared&) = delete;
        Cleared& operator=(const Cleared&) = delete;
        ~Cleared();
    };
    Cleared owned_;  // cleared also when the constructor fails part way
};

}  // namespace morvane::scheduler
