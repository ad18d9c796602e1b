// tolvi-relay in the foreground: the connectors of its command line, each change printed as
// it happens, until Ctrl-C (or the console's closing, logoff or shutdown) stops them all.
#pragma once
#include "relay/RelayArgs.h"

namespace tolvi::relay {

// Returns the program's exit code.
int RunConsoleHost(const RelayArgs& args);

}  // namespace tolvi::relay
