// The console programs' command line and printed output, in UTF-8 on every platform: on
// Windows the arguments come from the wide command line, so that a pipe name or path outside
// the user's code page arrives intact.
#pragma once
#include <string>
#include <vector>

namespace tolvi::platform {

// The arguments after the program's own name.
std::vector<std::string> ProgramArguments(int argc, char** argv);

// What the program prints in UTF-8 shows as such in a console window.
void UseUtf8Output();

}  // namespace tolvi::platform
