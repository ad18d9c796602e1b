// Text at the edge of Windows: the program keeps UTF-8 in std::string everywhere and speaks
// UTF-16 only to the wide Win32 functions. These two are the only place that converts.
#pragma once
#include <string>

namespace tolvi::platform {

// UTF-8 to UTF-16; a byte that is not UTF-8 becomes U+FFFD.
std::wstring Widen(const std::string& utf8);
// UTF-16 to UTF-8, for length characters (or up to the terminating NUL with -1).
std::string Narrow(const wchar_t* text, int length = -1);
inline std::string Narrow(const std::wstring& text) {
    return Narrow(text.c_str(), static_cast<int>(text.size()));
}

}  // namespace tolvi::platform
