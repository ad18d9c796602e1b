// Which console `tolvi-relay console WHAT` opens: WHAT is a connector's port or its pipe's
// name, looked up among the user's connectors and then the machine's (the service's), or
// HOST:PORT ([ADDRESS]:PORT for IPv6), which needs no store.
#pragma once
#include <string>

#include "console/StoredConnectors.h"
#include "platform/Endpoint.h"

namespace tolvi::console {

struct ConsoleTarget {
    platform::Endpoint endpoint;
    bool telnet = true;  // false for a raw connector: its bytes as they are, both ways
    std::string title;   // how the greeting names it
};

// "" with out filled; otherwise the lines that say why nothing was found, with what there is.
// A port is a connector's port (or its watch port); a pipe name matches whole or by its last
// part ("com1" for \\.\pipe\com1), in any case. Where a connector listens on every interface,
// its loopback is reached; where it listens automatically, 127.0.0.1. Without a store, a port
// is 127.0.0.1's.
std::string FindConsole(const std::string& what, const StoredConnectors& stored,
                        ConsoleTarget* out);

}  // namespace tolvi::console
