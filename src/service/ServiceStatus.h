// The status channel's text: one line per connector with what the window shows of it (port,
// pipe, status word, clients, bytes sent and received, description, the latest error text),
// fields split by tabs.
// The service writes it; `tolvi-relay service status` and the window read it.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "model/ConnectorList.h"

namespace tolvi::service {

// The name of the service's status pipe.
extern const char kStatusPipeName[];

struct ConnectorState {
    std::string port;
    std::string pipe;
    std::string status;  // the status word
    std::string clients;
    int64_t sent = 0;
    int64_t received = 0;
    std::string description;
    std::string error;  // why it is in Error, or the latest trouble it has met
};

std::vector<ConnectorState> Snapshot(const ConnectorList& connectors);
std::string FormatStatus(const std::vector<ConnectorState>& states);
// Reads what FormatStatus wrote; a line that does not have its fields is left out.
std::vector<ConnectorState> ParseStatus(const std::string& text);

// The SSH server's line of the status: its port (0 while it does not run) and host key.
std::string FormatSsh(int port, const std::string& fingerprint);
bool ParseSsh(const std::string& text, int* port, std::string* fingerprint);

// The consoles as scripts read them, one line of JSON beside the fields above: readers of the
// version before pass over it.
std::string FormatJson(const std::string& json);
std::string ParseJson(const std::string& text);  // "" when the status has none

}  // namespace tolvi::service
