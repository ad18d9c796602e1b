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

    // Opens path for appending, creating it when missing, readable by its owner alone (POSIX
    // 0600; on Windows as its folder's rights say); size says how long it already is. A link
    // in its place, or a file that somebody else owns, is refused (AccessDenied) and Refusal()
    // says why: whoever prepared it would read what is written.
    SysError Open(const std::string& path, uint64_t* size);
    const std::string& Refusal() const { return refusal; }
    bool IsOpen() const;
    // Writes all of data at the end.
    SysError Write(const void* data, size_t size);
    void Close();

  private:
    std::string refusal;
#ifdef _WIN32
    UniqueFile handle;
#else
    int descriptor = -1;
#endif
};

// Gives from the name to, replacing a file of that name.
SysError ReplaceFile(const std::string& from, const std::string& to);

}  // namespace tolvi::platform
