// Parsing and checking tolvi-relay's command line.
#include "relay/RelayArgs.h"

#include "engine/Format.h"
#include "engine/PortText.h"

namespace tolvi::relay {

const char kRelayUsage[] =
    "usage: tolvi-relay PIPE PORT [options] [PIPE PORT [options]]...\n"
    "  PIPE  a pipe name \\\\<ServerName>\\pipe\\<PipeName>, for example \\\\.\\pipe\\com1\n"
    "  PORT  the TCP port to listen on, 1 to 65535\n"
    "options, for the connector named before them:\n"
    "  --description TEXT   a description, shown in the status lines\n"
    "  --allow-non-local    admit clients other than 127.0.0.1\n"
    "  --list-only          with --allow-non-local: admit only the listed clients\n"
    "  --clients LIST       the allowed client addresses, separated by spaces or ';'\n"
    "  --help               this text\n"
    "Ctrl-C stops every connector and ends the program.\n";

bool HasPipeNameForm(const std::string& pipeName) {
    return pipeName.compare(0, 2, "\\\\") == 0 && pipeName.find("\\pipe\\") != std::string::npos;
}

namespace {

bool IsPlainPort(const std::string& text) {
    if (text.empty() || text.size() > 5)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    int value = TextToInt(text);
    return value > 0 && value <= 65535;
}

std::string CheckConnector(const ConnectorArgs& c, const std::vector<ConnectorArgs>& earlier) {
    if (c.pipeName.empty())
        return "the pipe name is empty";
    if (!HasPipeNameForm(c.pipeName)) {
        return Format("malformed pipe name '%s': the form is \\\\<ServerName>\\pipe\\<PipeName>",
                      c.pipeName.c_str());
    }
    if (!IsPlainPort(c.portText)) {
        return Format("bad port '%s' for %s: give a number from 1 to 65535", c.portText.c_str(),
                      c.pipeName.c_str());
    }
    for (const ConnectorArgs& other : earlier) {
        if (other.pipeName == c.pipeName) {
            return Format("the pipe %s is given twice", c.pipeName.c_str());
        }
        if (TextToInt(other.portText) == TextToInt(c.portText)) {
            return Format("port %s is given twice", c.portText.c_str());
        }
    }
    return "";
}

}  // namespace

std::string ParseRelayArgs(const std::vector<std::string>& args, RelayArgs* out) {
    *out = RelayArgs{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            out->help = true;
            return "";
        }
        if (arg.compare(0, 2, "--") == 0) {
            if (out->connectors.empty()) {
                return Format("option %s comes before any PIPE PORT", arg.c_str());
            }
            ConnectorArgs& c = out->connectors.back();
            if (arg == "--allow-non-local") {
                c.allowNonLocal = true;
            } else if (arg == "--list-only") {
                c.listOnly = true;
            } else if (arg == "--description" || arg == "--clients") {
                if (i + 1 >= args.size())
                    return Format("option %s needs a value", arg.c_str());
                (arg == "--description" ? c.description : c.clientList) = args[++i];
            } else {
                return Format("unknown option %s", arg.c_str());
            }
            continue;
        }
        if (i + 1 >= args.size())
            return Format("pipe %s has no PORT after it", arg.c_str());
        ConnectorArgs c;
        c.pipeName = arg;
        c.portText = args[++i];
        std::string problem = CheckConnector(c, out->connectors);
        if (!problem.empty())
            return problem;
        out->connectors.push_back(c);
    }
    if (out->connectors.empty())
        return "no connector given: PIPE PORT is needed";
    return "";
}

}  // namespace tolvi::relay
