// The words for how a client came, and the lines that name a client.
#include "engine/ClientKind.h"

#include "engine/Format.h"
#include "engine/LineStamps.h"
#include "engine/SafeText.h"
#include "platform/Endpoint.h"

namespace tolvi {

std::string ShownName(const ClientInfo& client) {
    std::string name = SafeName(client.name);
    return client.watching ? name + " (watching)" : name;
}

std::string ClientLine(const ClientInfo& client) {
    return Format("%s  %s, %s since %s", SafeName(client.name).c_str(),
                  ClientKindWord(client.kind), client.watching ? "watching" : "typing",
                  LocalClock(client.since).c_str());
}

std::string AddressInName(const std::string& name) {
    size_t space = name.rfind(' ');
    std::string last = space == std::string::npos ? name : name.substr(space + 1);
    platform::Endpoint parsed;
    return platform::ParseAddress(last, &parsed) ? last : "";
}

const char* ClientKindWord(ClientKind kind) {
    switch (kind) {
        case ClientKind::Telnet:
            return "Telnet";
        case ClientKind::Raw:
            return "raw";
        case ClientKind::WatchPort:
            return "watch port";
        case ClientKind::Ssh:
            return "SSH";
        case ClientKind::Web:
            return "web";
    }
    return "";
}

}  // namespace tolvi
