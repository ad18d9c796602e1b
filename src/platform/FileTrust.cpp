// The trust of a file together with the folder that holds it.
#include "platform/FileTrust.h"

#include "platform/UserFolder.h"

namespace tolvi::platform {

FileTrust CheckFileAndFolderTrust(const std::string& path) {
    const std::string folder = FolderOf(path);
    FileTrust trust = CheckFileTrust(folder);
    if (!trust.trusted)
        return {false, "its folder " + folder + " " + trust.why};
    return CheckFileTrust(path);
}

}  // namespace tolvi::platform
