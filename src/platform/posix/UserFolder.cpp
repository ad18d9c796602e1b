// The user's folder on POSIX: the XDG configuration folder.
#include "platform/UserFolder.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

namespace tolvi::platform {

bool MakeFolder(const std::string& path) {
    if (mkdir(path.c_str(), 0700) == 0 || errno == EEXIST) {
        struct stat info {};
        return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    }
    return false;
}

std::string UserConfigFolder() {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg == '/') {
        base = xdg;
    } else if (const char* home = std::getenv("HOME"); home && *home) {
        base = std::string(home) + "/.config";
        MakeFolder(base);
    } else {
        return "";
    }
    std::string folder = base + "/tolvi";
    return MakeFolder(folder) ? folder : "";
}

}  // namespace tolvi::platform
