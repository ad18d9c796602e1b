// The start-with-Windows entry.
#include "config/AutoStart.h"

#include "engine/Alert.h"
#include "engine/Format.h"

namespace tolvi {

const char kRunKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Run";
const char kRunValueName[] = "Tolvi";

std::string AutoStartCommand(const std::string& path) {
    return Format("\"%s\" /minimized", path.c_str());
}

void RegisterAutoStart(platform::KeyValueStore& runKey, bool startWithWindows,
                       const std::string* path) {
    if (!runKey.OpenForWrite()) {
        ShowAlert("Can't save configuration: unable to access registry!");
        return;
    }
    if (startWithWindows) {
        if (!path) {
            ShowAlert("Can't determine module location");
        } else {
            std::string command = AutoStartCommand(*path);
            if (!runKey.SetValue(kRunValueName, platform::kTypeString, command.c_str(),
                                 command.size() + 1)) {
                ShowAlert("Could not save registry key");
            }
        }
    } else {
        runKey.DeleteValue(kRunValueName);  // an absent value is no failure here
    }
    runKey.Close();
}

}  // namespace tolvi
