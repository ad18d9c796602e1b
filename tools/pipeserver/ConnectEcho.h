// The test pipe server's client mode: it connects to a pipe that another program made, as a
// virtual machine set to be the pipe's client does, and echoes what comes.
#pragma once
#include <string>

namespace tolvi::tools {

// Tries to connect for up to timeoutMs, then echoes until the pipe's server end goes.
// Returns 0 after a session, 1 when it could not connect (why on the standard error).
int ConnectAndEcho(const std::string& pipeName, int timeoutMs);

}  // namespace tolvi::tools
