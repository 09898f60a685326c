// error_objects.hpp: the calling thread's current COM error object: leaving a new one, replacing, taking it.
#pragma once

#include <optional>
#include <string_view>

#include <winemu/com.h>

#include "com/com_ptr.hpp"

namespace winemu {

// Leaves a restricted error object (IErrorInfo, IRestrictedErrorInfo, ILanguageExceptionErrorInfo2)
// as the thread's current error object, replacing any other. A missing text gives a null BSTR.
// When memory runs out the thread is left with no object, as though none had been made.
void leave_restricted_error(HRESULT error, std::optional<std::u16string_view> description,
                            std::optional<std::u16string_view> restricted_description) noexcept;

// Leaves a plain IErrorInfo with that description as the thread's current error object.
void leave_plain_error(std::u16string_view description) noexcept;

// Makes `object` the thread's current error object, releasing the one it replaces.
void replace_thread_error(ComPtr<IErrorInfo> object) noexcept;

// Hands the thread's current error object over to the caller and leaves the thread without one.
ComPtr<IErrorInfo> take_thread_error() noexcept;

}  // namespace winemu
