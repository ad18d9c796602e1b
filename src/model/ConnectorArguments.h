// Connectors from a command line: "PIPE PORT [options] [PIPE PORT [options]]...", each PIPE
// PORT pair a connector and the options after it that connector's, as the options table reads
// them and the dialogs check them, with one line that names the argument at fault. The
// programs that take such a line (tolvi-relay, its service commands) add their own options.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi {

// A program's own option at args[at]: returns how many arguments it takes (its flag and any
// value), 0 when args[at] is not one of them, -1 when the line is to be read no further (a
// --help); *problem says what is wrong with it.
using ProgramOption =
    std::function<int(const std::vector<std::string>& args, size_t at, std::string* problem)>;

// Returns "" when the line is good, otherwise the line naming the argument at fault.
std::string ParseConnectorArguments(const std::vector<std::string>& args,
                                    std::vector<ConnectorSettings>* connectors,
                                    const ProgramOption& programOption = nullptr);

// A port as a command line gives it: digits only, at most five.
bool IsPlainPort(const std::string& text);

}  // namespace tolvi
