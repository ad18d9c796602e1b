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

// Starts commandLine's program with the variables added to this program's own, and returns at
// once; the program runs on its own. POSIX splits the line as a shell would split words
// ('...' and "..." quote, \ escapes) and expands nothing; Windows hands it to CreateProcess.
SysError StartProgram(const std::string& commandLine, const Environment& added);

// The words of a command line as POSIX splits it; false for an unfinished quote.
bool SplitCommandLine(const std::string& line, std::vector<std::string>* words);

}  // namespace tolvi::platform
