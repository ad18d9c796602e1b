// The words for how a client came.
#include "engine/ClientKind.h"

namespace tolvi {

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
