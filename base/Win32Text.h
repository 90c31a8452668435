// Text at the edge of the Windows interfaces: the program keeps UTF-8 in
// std::string; the system's wide calls take UTF-16. Only the Windows build
// has this file.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

namespace tarvel::win32 {

// UTF-8 to UTF-16 and back. Bytes that are not UTF-8 become U+FFFD.
std::wstring Wide(std::string_view utf8);
std::string Utf8(std::wstring_view wide);

// The system's text for an error code, without its line end, in UTF-8,
// e.g. "The system cannot find the file specified."
std::string ErrorText(DWORD error);

// The nearest errno value, for reasons that the logic words with strerror.
int ErrnoOf(DWORD error);

}  // namespace tarvel::win32
