// Folders on POSIX.
#include "platform/Folder.h"

#include <dirent.h>
#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/PosixError.h"

namespace tolvi::platform {

SysError ListFolder(const std::string& path, std::vector<FolderEntry>* entries) {
    entries->clear();
    DIR* dir = opendir(path.c_str());
    if (!dir)
        return errno == ENOENT ? SysError{} : LastErrno();
    while (dirent* entry = readdir(dir)) {
        std::string name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        struct stat info {};
        if (lstat((path + "/" + name).c_str(), &info) != 0)
            continue;  // gone meanwhile
        FolderEntry e;
        e.name = name;
        e.size = static_cast<uint64_t>(info.st_size);
        e.modified = std::chrono::system_clock::time_point(
            std::chrono::duration_cast<std::chrono::system_clock::duration>(
                std::chrono::seconds(info.st_mtim.tv_sec) +
                std::chrono::nanoseconds(info.st_mtim.tv_nsec)));
        e.folder = S_ISDIR(info.st_mode);
        entries->push_back(std::move(e));
    }
    closedir(dir);
    return {};
}

SysError RemoveFile(const std::string& path) {
    return unlink(path.c_str()) == 0 ? SysError{} : LastErrno();
}

std::string JoinPath(const std::string& folder, const std::string& name) {
    return folder.empty() || folder.back() == '/' ? folder + name : folder + "/" + name;
}

}  // namespace tolvi::platform
