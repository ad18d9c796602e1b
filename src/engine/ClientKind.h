// Who a connector's client is and how it came: a Telnet or raw client of its port, a watcher
// of its watch port, or one that a host of the connector brings in itself (an SSH session,
// the web console) over a connected stream, admitted by that host.
#pragma once
#include <chrono>
#include <cstdint>
#include <string>

namespace tolvi {

enum class ClientKind { Telnet, Raw, WatchPort, Ssh, Web };

// "Telnet", "raw", "watch port", "SSH", "web".
const char* ClientKindWord(ClientKind kind);

// A client that a host hands to a connector.
struct HostedClient {
    std::string name;  // "alice@laptop 10.0.0.5", "web 127.0.0.1"
    ClientKind kind = ClientKind::Web;
    bool watching = false;  // sees the console; what it types is dropped
};

// One client as the connector's host sees it.
struct ClientInfo {
    std::string name;
    ClientKind kind = ClientKind::Telnet;
    bool watching = false;
    std::chrono::system_clock::time_point since;
};

}  // namespace tolvi
