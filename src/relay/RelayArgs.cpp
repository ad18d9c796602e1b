// Parsing and checking tolvi-relay's command line.
#include "relay/RelayArgs.h"

#include <algorithm>

#include "model/ConnectorValidation.h"
#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorOptions.h"

namespace tolvi::relay {

const char kRelayUsage[] =
    "usage: tolvi-relay PIPE PORT [options] [PIPE PORT [options]]...\n"
    "  PIPE  a pipe name \\\\<ServerName>\\pipe\\<PipeName>, for example \\\\.\\pipe\\com1\n"
    "  PORT  the TCP port to listen on, 1 to 65535\n"
    "options, for the connector named before them:\n"
    "  --description TEXT   a description, shown in the status lines\n"
    "  --allow-non-local    admit clients other than local ones (127.0.0.1 and ::1)\n"
    "  --list-only          with --allow-non-local: admit only the listed clients\n"
    "  --clients LIST       the allowed client addresses, separated by spaces or ';'\n"
    "  --max-clients N      serve up to N clients at once, 1 to 16 (1 by default)\n"
    "  --log FILE           append everything the pipe sends to FILE, with or without clients\n"
    "  --replay KIB         send each new client the latest KIB KiB of output, 0 to 1024\n"
    "  --listen ADDR        listen on this IPv4 or IPv6 address only; by default on loopback\n"
    "                       (127.0.0.1 and ::1), or with --allow-non-local on every interface\n"
    "  --watch-port PORT    a second port whose clients see the console but cannot type\n"
    "  --raw                plain TCP: no Telnet, exactly the pipe's bytes each way\n"
    "for them all, anywhere:\n"
    "  --web PORT           serve each console in the browser from 127.0.0.1:PORT (0: any\n"
    "                       free port) and print its address\n"
    "  --help               this text\n"
    "  --version            the version of tolvi-relay\n"
    "Ctrl-C stops every connector and ends the program.\n";

namespace {

std::string BadPort(const ConnectorArgs& c) {
    return Format("bad port '%s' for %s: give a number from 1 to 65535", c.portText.c_str(),
                  c.pipeName.c_str());
}

bool IsPlainPort(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

// The same checks as the dialogs', in their order, worded for a command line.
std::string CheckConnector(const ConnectorArgs& c, const std::vector<ConnectorArgs>& earlier) {
    std::vector<RowKey> rows;
    for (const ConnectorArgs& e : earlier)
        rows.push_back(RowKey{e.pipeName, e.portText, e.watchPort});
    Verdict verdict = ValidateConnector(DialogKind::Add, c, rows, -1);
    // A command line has no typing mistakes to forgive: the port is digits only, and that is
    // told before any clash with an earlier connector.
    bool clash = verdict.problem == Problem::PipeNameInUse || verdict.problem == Problem::PortInUse;
    if ((verdict.accepted || clash) && !IsPlainPort(c.portText))
        return BadPort(c);
    switch (verdict.problem) {
        case Problem::None:
            break;
        case Problem::EmptyPipeName:
            return "the pipe name is empty";
        case Problem::PipeNameForm:
            return Format(
                "malformed pipe name '%s': the form is \\\\<ServerName>\\pipe\\<PipeName>",
                c.pipeName.c_str());
        case Problem::PortValue:
            return BadPort(c);
        case Problem::PipeNameInUse:
            return Format("the pipe %s is given twice", c.pipeName.c_str());
        case Problem::PortInUse:
            return Format("port %s is given twice", c.portText.c_str());
        case Problem::WatchPortInUse:
            return Format("port %d is given twice", verdict.port);
        case Problem::TextTooLong:
            return verdict.message;  // not checked here
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
        if (arg == "--version") {
            out->version = true;
            return "";
        }
        if (arg == "--web") {
            int port =
                i + 1 < args.size() && IsPlainPort(args[i + 1]) ? TextToInt(args[i + 1]) : -1;
            if (port < 0 || port > 65535)
                return "option --web needs a port from 0 to 65535";
            out->webPort = port;
            ++i;
            continue;
        }
        if (arg.compare(0, 2, "--") == 0) {
            if (out->connectors.empty()) {
                return Format("option %s comes before any PIPE PORT", arg.c_str());
            }
            ConnectorArgs& c = out->connectors.back();
            const ConnectorOption* option = FindOptionByFlag(arg);
            if (!option)
                return Format("unknown option %s", arg.c_str());
            if (option->kind == OptionKind::Flag) {
                c.*option->yes = !option->flagClears;
                continue;
            }
            if (i + 1 >= args.size())
                return Format("option %s needs a value", arg.c_str());
            const std::string& value = args[++i];
            // A log without a file would be no log at all, silently.
            if (option->text == &ConnectorSettings::logFile && value.empty())
                return "option --log needs a file name";
            std::string refused;
            if (!SetOptionFromText(*option, value, &c, &refused))  // the dialogs' rules and words
                return Format("%s '%s': %s", arg.c_str(), value.c_str(), refused.c_str());
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
    // With their options read, the watch ports too: each connector against those before it.
    std::vector<int> ports;
    for (size_t n = 0; n < out->connectors.size(); ++n) {
        const ConnectorArgs& c = out->connectors[n];
        std::string problem = CheckConnector(
            c, std::vector<ConnectorArgs>(out->connectors.begin(),
                                          out->connectors.begin() + static_cast<long>(n)));
        if (!problem.empty())
            return problem;
        ports.push_back(TextToInt(c.portText));
        if (c.watchPort != 0)
            ports.push_back(c.watchPort);
    }
    // Found now rather than after the connectors have started and opened their pipes.
    if (out->webPort > 0 && std::count(ports.begin(), ports.end(), out->webPort) > 0)
        return Format("the web console's port %d is a connector's port too", out->webPort);
    return "";
}

}  // namespace tolvi::relay
