// Finding a console's endpoint among the stored connectors.
#include "console/ConsoleTarget.h"

#include "engine/PortText.h"
#include "model/ConnectorArguments.h"

namespace tolvi::console {
namespace {

bool ReadPort(const std::string& text, uint16_t* port) {
    if (!IsPlainPort(text) || TextToInt(text) < 1 || TextToInt(text) > 65535)
        return false;
    *port = static_cast<uint16_t>(TextToInt(text));
    return true;
}

std::string Folded(std::string text) {
    for (char& c : text) {
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    }
    return text;
}

bool SamePipe(const std::string& stored, const std::string& what) {
    std::string name = Folded(stored), wanted = Folded(what);
    size_t slash = name.find_last_of('\\');
    return name == wanted || (slash != std::string::npos && name.substr(slash + 1) == wanted);
}

// Where a client of this machine reaches a connector that listens as settings say.
platform::Endpoint ReachedAt(const ConnectorSettings& settings, uint16_t port) {
    platform::Endpoint at;
    if (settings.listenAddress.empty() || !platform::ParseAddress(settings.listenAddress, &at))
        return platform::Endpoint::LoopbackV4(port);
    at.port = port;
    if (at == platform::Endpoint::AnyV6(port))
        return platform::Endpoint::LoopbackV6(port);
    if (at == platform::Endpoint::AnyV4(port))
        return platform::Endpoint::LoopbackV4(port);
    return at;
}

// HOST:PORT, [ADDRESS]:PORT; false for anything else. HOST is an address or localhost.
bool ReadHostPort(const std::string& what, platform::Endpoint* at) {
    std::string host, port;
    if (!what.empty() && what[0] == '[') {
        size_t close = what.find("]:");
        if (close == std::string::npos)
            return false;
        host = what.substr(1, close - 1);
        port = what.substr(close + 2);
    } else {
        size_t colon = what.find(':');
        if (colon == std::string::npos || what.find(':', colon + 1) != std::string::npos)
            return false;
        host = what.substr(0, colon);
        port = what.substr(colon + 1);
    }
    uint16_t number = 0;
    if (!ReadPort(port, &number))
        return false;
    if (Folded(host) == "localhost")
        host = "127.0.0.1";
    if (!platform::ParseAddress(host, at))
        return false;
    at->port = number;
    return true;
}

std::string Listed(const char* whose, const std::vector<ConnectorSettings>& connectors) {
    std::string text = std::string("  ") + whose + ":";
    if (connectors.empty())
        return text + " none\n";
    text += "\n";
    for (const ConnectorSettings& c : connectors) {
        text += "    " + c.portText + "  " + c.pipeName;
        if (c.watchPort != 0)
            text += "  (watch port " + std::to_string(c.watchPort) + ")";
        if (!c.telnet)
            text += "  raw";
        if (!c.description.empty())
            text += "  " + c.description;
        text += "\n";
    }
    return text;
}

}  // namespace

std::string FindConsole(const std::string& what, const StoredConnectors& stored,
                        ConsoleTarget* out) {
    *out = ConsoleTarget{};
    bool pipeName = what.compare(0, 2, "\\\\") == 0;
    if (!pipeName && ReadHostPort(what, &out->endpoint)) {
        out->title = what;
        return "";
    }
    uint16_t port = 0;
    bool isPort = ReadPort(what, &port);
    if (!stored.hasStore) {
        if (!isPort)
            return "'" + what + "' is neither a port nor HOST:PORT (no connectors are stored "
                   "here to look a pipe's name up in)\n";
        out->endpoint = platform::Endpoint::LoopbackV4(port);
        out->title = "127.0.0.1:" + std::to_string(port);
        return "";
    }
    for (const auto* list : {&stored.user, &stored.machine}) {
        for (const ConnectorSettings& c : *list) {
            bool watching = isPort && c.watchPort == port;
            if (!(isPort ? TextToInt(c.portText) == port || watching : SamePipe(c.pipeName, what)))
                continue;
            uint16_t reached = 0;
            if (!watching && !ReadPort(c.portText, &reached))
                continue;  // stored by hand with a port no connector can listen on
            out->endpoint = ReachedAt(c, watching ? port : reached);
            out->telnet = c.telnet;
            out->title = c.pipeName + " on " + platform::AddressText(out->endpoint) + " port " +
                         std::to_string(out->endpoint.port) + (watching ? ", watching" : "");
            return "";
        }
    }
    std::string text = std::string("no connector of yours or of the machine's has ") +
                       (isPort ? "the port " : "the pipe ") + what + "; there are:\n";
    text += Listed("yours", stored.user);
    text += Listed("the machine's (the service's)", stored.machine);
    return text + "  (HOST:PORT reaches any other, 127.0.0.1:2323 for example)\n";
}

}  // namespace tolvi::console
