// The start-with-Windows entry.
#include "config/AutoStart.h"

#include "engine/Format.h"

namespace tolvi {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = "Tolvi";

std::string AutoStartCommand(const std::string& path) {
    return Format("\"%s\" /minimized", path.c_str());
}

std::string RegisterAutoStart(platform::KeyValueStore& runKey, bool startWithWindows,
                              const std::string* path) {
    if (runKey.OpenForWrite().Failed())
        return "Can't save configuration: unable to access registry!";
    std::string problem;
    if (startWithWindows) {
        if (!path) {
            problem = "Can't determine module location";
        } else {
            std::string command = AutoStartCommand(*path);
            if (runKey
                    .SetValue(kRunValueName, platform::kTypeString, command.c_str(),
                              command.size() + 1)
                    .Failed()) {
                problem = "Could not save registry key";
            }
        }
    } else {
        runKey.DeleteValue(kRunValueName);  // an absent value is no failure here
    }
    runKey.Close();
    return problem;
}

}  // namespace tolvi
