// error_object.hpp: the COM error objects that failing calls leave on a thread.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/com.h>

namespace winemu {

// A restricted error object (IErrorInfo, IRestrictedErrorInfo, ILanguageExceptionErrorInfo2)
// with one reference for the caller; null when memory runs out. A missing text gives a null BSTR.
IErrorInfo* new_restricted_error_object(HRESULT error, std::optional<std::u16string_view> description,
                                        std::optional<std::u16string_view> restricted_description) noexcept;

// A plain error object (IErrorInfo only) with one reference for the caller; null when memory runs out.
IErrorInfo* new_plain_error_object(std::u16string_view description) noexcept;

}  // namespace winemu
