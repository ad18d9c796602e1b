// The words for how a client came, and the lines that name a client.
#include "engine/ClientKind.h"

#include <ctime>

#include "engine/Format.h"

namespace tolvi {

std::string ShownName(const ClientInfo& client) {
    return client.watching ? client.name + " (watching)" : client.name;
}

std::string ClientLine(const ClientInfo& client) {
    std::time_t at = std::chrono::system_clock::to_time_t(client.since);
    char since[16] = "";
    if (std::tm* local = std::localtime(&at))
        std::strftime(since, sizeof since, "%H:%M:%S", local);
    return Format("%s  %s, %s since %s", client.name.c_str(), ClientKindWord(client.kind),
                  client.watching ? "watching" : "typing", since);
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
