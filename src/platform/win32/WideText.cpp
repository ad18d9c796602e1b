// The conversions between UTF-8 and UTF-16.
#include "platform/win32/WideText.h"

#include <windows.h>

namespace tolvi::platform {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return std::wstring();
    int size = static_cast<int>(utf8.size());
    int length = MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, nullptr, 0);
    std::wstring wide(static_cast<size_t>(length), L'\0');
    if (length > 0)
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), size, &wide[0], length);
    return wide;
}

std::string Narrow(const wchar_t* text, int length) {
    if (!text || length == 0)
        return std::string();
    int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
    if (size <= 0)
        return std::string();
    std::string utf8(static_cast<size_t>(size), '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, length, &utf8[0], size, nullptr, nullptr);
    if (length < 0 && !utf8.empty() && utf8.back() == '\0')
        utf8.pop_back();  // the terminating NUL was counted
    return utf8;
}

}  // namespace tolvi::platform
