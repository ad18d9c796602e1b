// The platform's one-line message for a system or socket error code.
#pragma once
#include <string>

namespace tolvi::platform {

// The message for code, cut before its first line break; a text of our own where the
// platform has none, so a message never ends in an empty "()".
std::string GetSystemErrorText(int code);

}  // namespace tolvi::platform
