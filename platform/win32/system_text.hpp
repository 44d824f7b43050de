#pragma once

// Text between the program's UTF-8 and the system's UTF-16, and the
// system's own words for an error.

#include <windows.h>

#include <string>
#include <string_view>

namespace platform::win32 {

// UTF-16 from the system as UTF-8, and back; invalid units become U+FFFD.
std::string narrow(std::wstring_view text);
std::wstring widen(std::string_view text);

// What the system says an error code (from GetLastError, or an HRESULT)
// means, in the user's language, without the closing full stop; empty when
// it has no words for it.
std::string system_message(DWORD code);

}  // namespace platform::win32
