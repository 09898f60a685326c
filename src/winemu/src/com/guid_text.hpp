// guid_text.hpp: new random GUIDs in the text form Windows shows them.
#pragma once

#include <string>

namespace winemu {

// "{XXXXXXXX-XXXX-4XXX-YXXX-XXXXXXXXXXXX}", upper-case hexadecimal, random (version 4).
std::u16string new_guid_text();

}  // namespace winemu
