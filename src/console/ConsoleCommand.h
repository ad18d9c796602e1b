// `tolvi-relay console [--raw] PORT | PIPE | HOST:PORT`: a connector's console in the terminal
// the command runs in.
#pragma once
#include <string>
#include <vector>

namespace tolvi::console {

// The arguments after "console"; returns the program's exit code: 2 for arguments at fault
// or a console that is not found (with what there is), otherwise the session's.
int RunConsoleCommand(const std::vector<std::string>& args);

}  // namespace tolvi::console
