// The command line on POSIX: the arguments are UTF-8 as they come.
#include "platform/CommandLine.h"

namespace tolvi::platform {

std::vector<std::string> ProgramArguments(int argc, char** argv) {
    return std::vector<std::string>(argv + (argc > 0 ? 1 : 0), argv + argc);
}

void UseUtf8Output() {}

}  // namespace tolvi::platform
