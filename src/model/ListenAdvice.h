// What a user is told of where a connector listens: the command that reaches it from this
// machine, and a warning when its address and its admission rule do not go together.
#pragma once
#include <string>

#include "engine/ConnectorSettings.h"

namespace tolvi {

// "telnet 127.0.0.1 2323", "telnet ::1 2323" for `::` (IPv6 only), the address itself where
// it listens on one; a raw connector's "raw TCP 127.0.0.1 2323", since no Telnet program is
// needed.
std::string ReachCommand(const ConnectorSettings& settings);

// "" while the connector admits everyone who can reach it there; otherwise why not: only
// local clients are admitted, but it listens on every interface, or on an address of this
// machine where no local client arrives (they come from that address, not from loopback).
std::string ListenWarning(const ConnectorSettings& settings);

}  // namespace tolvi
