// Error texts from the C library.
#include "platform/ErrorText.h"

#include <cstdio>
#include <cstring>

namespace tolvi::platform {

std::string GetSystemErrorText(int code) {
    char buffer[256] = {};
    // The GNU strerror_r may return a static text instead of filling the buffer.
    const char* text = strerror_r(code, buffer, sizeof buffer);
    std::string result = text ? text : "";
    size_t end = result.find_first_of("\r\n");
    if (end != std::string::npos)
        result.erase(end);
    if (result.empty()) {
        std::snprintf(buffer, sizeof buffer, "Unknown error %d", code);
        result = buffer;
    }
    return result;
}

}  // namespace tolvi::platform
