// The start-with-Windows entry: the value "Tolvi" under the current user's Run key, holding
// the program's quoted path and "/minimized".
#pragma once
#include <string>

#include "platform/KeyValueStore.h"

namespace tolvi {

extern const char kRunKey[];        // under HKEY_CURRENT_USER
extern const char kRunValueName[];  // "Tolvi"

// The command the Run value holds for a program at path.
std::string AutoStartCommand(const std::string& path);

// Writes the Run value (startWithWindows) or removes it. path is the program's full path, or
// nullptr when it could not be found. Returns the message that tells the user of a failure,
// "" when there was none.
std::string RegisterAutoStart(platform::KeyValueStore& runKey, bool startWithWindows,
                              const std::string* path);

}  // namespace tolvi
