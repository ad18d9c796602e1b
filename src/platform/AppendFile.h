// A file that only grows, such as the console's log, named by a UTF-8 path: on Windows opened
// with CreateFileW for appending, on POSIX with O_APPEND. Each Write goes to the system at
// once; nothing is held back in the program.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/SysError.h"

#ifdef _WIN32
#include "platform/win32/UniqueHandle.h"
#endif

namespace tolvi::platform {

class AppendFile {
  public:
    AppendFile() = default;
    ~AppendFile() { Close(); }
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;

    // Opens path for appending, creating it when missing; size says how long it already is.
    // ownerOnly: on POSIX the file is for its owner alone (0600); on Windows it has the rights
    // its folder passes on.
    SysError Open(const std::string& path, uint64_t* size, bool ownerOnly = false);
    bool IsOpen() const;
    // Writes all of data at the end.
    SysError Write(const void* data, size_t size);
    void Close();

  private:
#ifdef _WIN32
    UniqueFile handle;
#else
    int descriptor = -1;
#endif
};

// Gives from the name to, replacing a file of that name.
SysError ReplaceFile(const std::string& from, const std::string& to);

}  // namespace tolvi::platform
