// Who a connector's client is and how it came: a Telnet or raw client of its port, a watcher
// of its watch port, or one that a host of the connector brings in itself (an SSH session,
// the web console) over a connected stream, admitted by that host.
#pragma once
#include <atomic>
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
    bool take = false;      // every other typing client's session ends first
    // The network address it comes from, which the connector admits as it would a Telnet
    // client's; "" for one of this program's own, which is not from the network (the audit
    // trail then takes the address from the name's last word). An SSH key's "SHA256:..."
    // fingerprint, for the audit trail.
    std::string address;
    std::string keyFingerprint;
};

// One client as the connector's host sees it.
struct ClientInfo {
    uint64_t id = 0;  // unique among the connector's clients while it runs
    std::string name;
    ClientKind kind = ClientKind::Telnet;
    bool watching = false;
    std::chrono::system_clock::time_point since;
    uint64_t bytesToClient = 0;    // of the console's output
    uint64_t bytesFromClient = 0;  // all it sent, Telnet commands included
    std::string address;         // "10.0.0.5"; "" when nobody said
    std::string keyFingerprint;  // an SSH client's key, "SHA256:..."
};

// A client's byte counts as its session keeps them, read from other threads.
struct ClientTraffic {
    std::atomic<uint64_t> toClient{0};
    std::atomic<uint64_t> fromClient{0};
};

// What the other clients of a shared console are told of one, and the line of `who`:
// "alice@laptop 10.0.0.5", "127.0.0.1 (watching)"; "alice@laptop 10.0.0.5  SSH, typing since
// 15:41:07".
std::string ShownName(const ClientInfo& client);
std::string ClientLine(const ClientInfo& client);

// The address a client's name ends with ("alice@laptop 10.0.0.5", "web ::1", "10.0.0.5"); ""
// when its last word is none.
std::string AddressInName(const std::string& name);

}  // namespace tolvi
