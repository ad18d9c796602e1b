// The console's log: every byte the pipe sends, appended to a file and flushed with every
// write. From 10 MiB on the file is rotated at the first line end: renamed with ".1" appended
// (replacing an older one) and a new one started. A file that cannot be written ends the log,
// not the relay; one that cannot be renamed (a reader holds it open, on Windows) goes on
// growing, and the rename is tried again at the next line end.
#pragma once
#include <cstdint>
#include <string>
#include <utility>

#include "engine/LineStamps.h"
#include "platform/AppendFile.h"

namespace tolvi {

class ConsoleLog {
  public:
    static constexpr uint64_t kRotateBytes = 10u << 20;
    // How far past kRotateBytes a line end is waited for; a console that prints no line end
    // for that long is split where it stands.
    static constexpr uint64_t kLineSearchBytes = 64u << 10;

    ConsoleLog() = default;
    ~ConsoleLog() { Close(); }
    ConsoleLog(const ConsoleLog&) = delete;
    ConsoleLog& operator=(const ConsoleLog&) = delete;

    // Opens path for appending; false, with the reason in Problem(), when it cannot. With
    // timeStamps, every line begins with the local time it began (LineStamps).
    bool Open(const std::string& path, bool timeStamps = false);
    bool IsOpen() const { return file.IsOpen(); }
    // Appends and flushes; false, with the log closed and the reason in Problem(), when the
    // file could not be written or rotated.
    bool Append(const uint8_t* data, size_t size);
    void Close();
    // "Could not write log file %s (%s)": the path and what went wrong.
    const std::string& Problem() const { return problem; }
    // What is to be said once while the log goes on (a rotation that failed), and "" after.
    std::string TakeNotice() { return std::exchange(notice, std::string()); }

  private:
    bool Write(const uint8_t* data, size_t size);
    bool Fail(const platform::SysError& error);
    bool Rotate();

    std::string logPath;
    platform::AppendFile file;
    uint64_t written = 0;
    std::string problem;
    std::string notice;
    bool rotationFailed = false;  // said once, until a rotation succeeds
    bool stamping = false;
    LineStamps stamps;
    std::string stamped;  // one append's bytes with their stamps, reused
};

}  // namespace tolvi
