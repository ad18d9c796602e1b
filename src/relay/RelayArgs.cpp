// Parsing and checking tolvi-relay's command line.
#include "relay/RelayArgs.h"

#include <algorithm>

#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorArguments.h"
#include "model/ConnectorOptions.h"

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
    {"--help", nullptr, "this text"},
    {"--version", nullptr, "the version of tolvi-relay"},
};

// A port of a program-wide option, 0 to 65535; -1 when args[at] holds none.
int PortAfter(const std::vector<std::string>& args, size_t at) {
    return at + 1 < args.size() && IsPlainPort(args[at + 1]) ? TextToInt(args[at + 1]) : -1;
}

}  // namespace

std::string RelayUsage() {
    std::string usage =
        "usage: tolvi-relay PIPE PORT [options] [PIPE PORT [options]]...\n"
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
        if (arg == "--web") {
            int port = PortAfter(all, at);
            if (port < 0 || port > 65535)
                *problem = "option --web needs a port from 0 to 65535";
            out->webPort = port;
            return 2;
        }
        return 0;
    };
    std::string problem = ParseConnectorArguments(args, &out->connectors, programOption);
    if (!problem.empty() || out->help || out->version)
        return problem;
    if (out->connectors.empty())
        return "no connector given: PIPE PORT is needed";
    // Found now rather than after the connectors have started and opened their pipes.
    if (out->webPort > 0) {
        for (const ConnectorSettings& c : out->connectors) {
            if (TextToInt(c.portText) == out->webPort || c.watchPort == out->webPort)
                return Format("the web console's port %d is a connector's port too", out->webPort);
        }
    }
    return "";
}

}  // namespace tolvi::relay
