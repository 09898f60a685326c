// binding_messages.hpp: the TypeErrors of a malformed call, worded as CPython's binders word them.
#pragma once

#include <span>
#include <string_view>

#include "module/call_signature.hpp"

namespace morvane::module::binding_messages {

// "f() takes 1 positional arguments but 2 were given", or "takes from R to P ..." when some
// positional parameters are optional.
PythonError too_many_positional(const CallSignature& signature, Py_ssize_t given);
// "f() got an unexpected keyword argument 'K'", K being str() of the keyword object.
PythonError unexpected_keyword(const CallSignature& signature, PyObject* keyword);
// "f() got multiple values for argument 'name'".
PythonError multiple_values(const CallSignature& signature, std::string_view keyword);
// "f() got some positional-only arguments passed as keyword arguments: 'a' and 'b'".
PythonError positional_only_as_keyword(const CallSignature& signature, std::span<const std::string_view> names);
// "f() missing 2 required positional arguments: 'a' and 'b'" (kind "positional" or "keyword").
PythonError missing(const CallSignature& signature, std::string_view kind, std::span<const std::string_view> names);

}  // namespace morvane::module::binding_messages
