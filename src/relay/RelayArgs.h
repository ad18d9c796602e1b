// The command line of tolvi-relay, the console host that runs connectors without the GUI:
//   tolvi-relay PIPE PORT [options] [PIPE PORT [options]]...
// Each PIPE PORT pair starts a connector; the options after it are that connector's.
#pragma once
#include <string>
#include <vector>

#include "engine/ConnectorSettings.h"

namespace tolvi::relay {

// A connector as its arguments give it: the same settings the program's dialogs collect.
using ConnectorArgs = ConnectorSettings;

struct RelayArgs {
    std::vector<ConnectorArgs> connectors;
    bool help = false;
    bool version = false;
    int webPort = -1;  // --web: the web console's port, 0 for any; -1 without one
    int sshPort = -1;  // --ssh: the SSH server's port, 0 for any; -1 without one
    std::string sshKeys;     // --ssh-keys: the authorized_keys file; "": the user's own
    std::string sshHostKey;  // --ssh-host-key: "": beside the keys file
    std::string sshListen;   // --ssh-listen: "": every interface of both families
    std::string recordDir;   // --record-dir: "": recordings in the user's tolvi folder
    std::string auditFile;   // --audit: "": audit.jsonl beside the keys file
};

// The usage text, the connectors' options from their table.
std::string RelayUsage();

// Fills out from the arguments (without the program name). Returns "" when they are good,
// otherwise one line that names the argument at fault.
std::string ParseRelayArgs(const std::vector<std::string>& args, RelayArgs* out);

}  // namespace tolvi::relay
