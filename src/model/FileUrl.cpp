// File addresses for the help page.
#include "model/FileUrl.h"

#include <cstdio>

namespace tolvi {
namespace {

bool Plain(unsigned char c) {
    return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~' || c == '/' || c == ':';
}

}  // namespace

std::string FileUrl(const std::string& windowsPath, const std::string& fragment) {
    std::string address = "file:///";
    for (char raw : windowsPath) {
        auto c = static_cast<unsigned char>(raw == '\\' ? '/' : raw);
        if (Plain(c)) {
            address += static_cast<char>(c);
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", c);
            address += escaped;
        }
    }
    if (!fragment.empty())
        address += "#" + fragment;
    return address;
}

}  // namespace tolvi
