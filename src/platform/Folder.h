// What is in a folder, and taking a file out of one: the recordings' folders are listed to
// show them and to remove the oldest, by a UTF-8 path on every system.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/SysError.h"

namespace tolvi::platform {

struct FolderEntry {
    std::string name;  // without the folder
    uint64_t size = 0;
    std::chrono::system_clock::time_point modified;
    bool folder = false;
};

// The entries of path but "." and "..", in no particular order; none when path is not there.
SysError ListFolder(const std::string& path, std::vector<FolderEntry>* entries);

SysError RemoveFile(const std::string& path);

// folder and name joined by the system's separator ('\' on Windows, '/' elsewhere).
std::string JoinPath(const std::string& folder, const std::string& name);

}  // namespace tolvi::platform
