// error_objects.hpp: making error objects and leaving them on the calling thread.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/types.h>

namespace winemu {

// Leaves a restricted error object (IErrorInfo, IRestrictedErrorInfo, ILanguageExceptionErrorInfo2)
// as the thread's current error object, replacing any other. A missing text gives a null BSTR.
void leave_restricted_error(HRESULT error, std::optional<std::u16string_view> description,
                            std::optional<std::u16string_view> restricted_description) noexcept;

// Leaves a plain IErrorInfo with that description as the thread's current error object.
void leave_plain_error(std::u16string_view description) noexcept;

}  // namespace winemu
