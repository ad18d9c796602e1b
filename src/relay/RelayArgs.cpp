// Parsing and checking tolvi-relay's command line.
#include "relay/RelayArgs.h"

#include <algorithm>

#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorArguments.h"
#include "model/ConnectorOptions.h"
#include "platform/Endpoint.h"

namespace tolvi::relay {
namespace {

// The options that are tolvi-relay's own, for all its connectors.
struct ProgramFlag {
    const char* flag;
    const char* argument;
    const char* help;
};
const ProgramFlag kProgramFlags[] = {
    {"--web", "PORT",
     "serve each console in the browser from 127.0.0.1:PORT (0: any\nfree port) and print its "
     "address"},
    {"--ssh", "PORT",
     "serve each console over SSH on PORT (0: any free port), on every\ninterface: "
     "ssh -p PORT 2323@host opens the console on port 2323"},
    {"--ssh-keys", "FILE",
     "the keys that may log in, as OpenSSH's authorized_keys (by default\nauthorized_keys in "
     "the user's tolvi folder)"},
    {"--ssh-host-key", "FILE", "the server's Ed25519 key, made when missing (by default beside\n"
     "the keys file)"},
    {"--ssh-listen", "ADDR", "serve SSH on this address only"},
    {"--record-dir", "DIR",
     "where recorded consoles keep their recordings, a folder for each\nport (by default "
     "recordings in the user's tolvi folder); made for\nits owner alone"},
    {"--audit", "FILE",
     "the audit trail, JSON Lines: who was on each console and how each\nsession ended (by "
     "default audit.jsonl beside the keys file)"},
    {"--help", nullptr, "this text"},
    {"--version", nullptr, "the version of tolvi-relay and of the libssh built in"},
};

// A port of a program-wide option, 0 to 65535; -1 when args[at] holds none.
int PortAfter(const std::vector<std::string>& args, size_t at) {
    return at + 1 < args.size() && IsPlainPort(args[at + 1]) ? TextToInt(args[at + 1]) : -1;
}

}  // namespace

std::string RelayUsage() {
    std::string usage =
        "usage: tolvi-relay PIPE PORT [options] [PIPE PORT [options]]...\n"
        "       tolvi-relay console PORT | PIPE | HOST:PORT  (a console in this terminal)\n"
        "  PIPE  a pipe name \\\\<ServerName>\\pipe\\<PipeName>, for example \\\\.\\pipe\\com1\n"
        "  PORT  the TCP port to listen on, 1 to 65535\n"
        "options, for the connector named before them:\n";
    usage += OptionsUsage();
    usage += "for them all, anywhere:\n";
    for (const ProgramFlag& f : kProgramFlags)
        usage += UsageLine(f.flag, f.argument, f.help);
    return usage + "Ctrl-C stops every connector and ends the program.\n";
}

std::string ParseRelayArgs(const std::vector<std::string>& args, RelayArgs* out) {
    *out = RelayArgs{};
    auto programOption = [out](const std::vector<std::string>& all, size_t at,
                               std::string* problem) -> int {
        const std::string& arg = all[at];
        if (arg == "--help" || arg == "-h") {
            out->help = true;
            return -1;
        }
        if (arg == "--version") {
            out->version = true;
            return -1;
        }
        if (arg == "--web" || arg == "--ssh") {
            int port = PortAfter(all, at);
            if (port < 0 || port > 65535)
                *problem = "option " + arg + " needs a port from 0 to 65535";
            (arg == "--web" ? out->webPort : out->sshPort) = port;
            return 2;
        }
        std::string* text = arg == "--ssh-keys"       ? &out->sshKeys
                            : arg == "--ssh-host-key" ? &out->sshHostKey
                            : arg == "--ssh-listen"   ? &out->sshListen
                            : arg == "--record-dir"   ? &out->recordDir
                            : arg == "--audit"        ? &out->auditFile
                                                      : nullptr;
        if (!text)
            return 0;
        if (at + 1 >= all.size() || all[at + 1].empty()) {
            *problem = "option " + arg + " needs a value";
            return 2;
        }
        *text = all[at + 1];
        platform::Endpoint where;
        if (text == &out->sshListen && !platform::ParseAddress(*text, &where))
            *problem = "--ssh-listen '" + *text + "': Incorrect listen address provided";
        return 2;
    };
    std::string problem = ParseConnectorArguments(args, &out->connectors, programOption);
    if (!problem.empty() || out->help || out->version)
        return problem;
    if (out->connectors.empty())
        return "no connector given: PIPE PORT is needed";
    // Found now rather than after the connectors have started and opened their pipes.
    for (const auto& [port, what] : {std::pair<int, const char*>{out->webPort, "web console"},
                                     std::pair<int, const char*>{out->sshPort, "SSH server"}}) {
        if (port <= 0)
            continue;
        for (const ConnectorSettings& c : out->connectors) {
            if (TextToInt(c.portText) == port || c.watchPort == port)
                return Format("the %s's port %d is a connector's port too", what, port);
        }
    }
    if (out->sshPort > 0 && out->sshPort == out->webPort)
        return Format("the SSH server's port %d is the web console's too", out->sshPort);
    if (out->sshPort < 0 && !(out->sshKeys + out->sshHostKey + out->sshListen).empty())
        return "options --ssh-keys, --ssh-host-key and --ssh-listen need --ssh PORT";
    return "";
}

}  // namespace tolvi::relay
