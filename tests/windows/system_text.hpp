// system_text.hpp: what the system's message table says for a code, worked out independently of
// the client, so that the driver can predict the client's rendered failure text.
#pragma once

#include <windows.h>

#include <string>

// FormatMessageW's text for the code, trailing white space removed, as UTF-8; empty when none.
std::string system_text(HRESULT code);

// "0x" and the code as eight upper-case hexadecimal digits.
std::string formatted_code(HRESULT code);

// The text the client renders for a failure without detail: the system text, a blank and the
// code in parentheses; the code alone when the system has no text for it.
std::string expected_message(HRESULT code);
