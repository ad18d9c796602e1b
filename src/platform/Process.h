// Starting a program that a user named (an alert's command), never through a shell: the
// command line is split into the program and its arguments as written, quotes and all, and
// nothing in it, nor in the values handed over, is read as code.
#pragma once
#include <string>
#include <utility>
#include <vector>

#include "platform/SysError.h"

namespace tolvi::platform {

using Environment = std::vector<std::pair<std::string, std::string>>;

// A program started from a command line that a user wrote, with the variables added to this
// program's own. POSIX splits the line as a shell would split words ('...' and "..." quote,
// \ escapes) and expands nothing; Windows hands it to CreateProcess. It inherits none of this
// program's descriptors or handles (a listening socket held by a child would keep a restarted
// program from its port), and runs in a process group (POSIX) or job object (Windows) of its
// own, so that Kill ends what it started too.
class ChildProcess {
  public:
    ChildProcess() = default;
    // Ends the program if it still runs: nothing started outlives its owner.
    ~ChildProcess();
    ChildProcess(const ChildProcess&) = delete;
    ChildProcess& operator=(const ChildProcess&) = delete;

    SysError Start(const std::string& commandLine, const Environment& added);
    // Whether it has ended; collects it once it has.
    bool Exited();
    // Ends it and everything in its group or job, and collects it.
    void Kill();

  private:
#ifdef _WIN32
    void* process = nullptr;
    void* job = nullptr;
#else
    int pid = -1;
#endif
};

// The words of a command line as POSIX splits it; false for an unfinished quote.
bool SplitCommandLine(const std::string& line, std::vector<std::string>* words);

}  // namespace tolvi::platform
