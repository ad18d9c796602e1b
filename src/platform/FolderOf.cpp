// The folder part of a path, for both kinds of separator.
#include "platform/UserFolder.h"

namespace tolvi::platform {

std::string FolderOf(const std::string& path) {
    size_t slash = path.find_last_of("/\\");
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return path.substr(0, 1);
    return path.substr(0, slash);
}

}  // namespace tolvi::platform
