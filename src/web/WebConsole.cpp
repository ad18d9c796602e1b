// A connector's console as the web console offers it.
#include "engine/PipeConnector.h"
#include "web/WebConsoleServer.h"

namespace tolvi::web {

bool ConsoleOf(const PipeConnector& connector, WebConsole* out) {
    uint16_t port = connector.GetListenPort();
    for (platform::Endpoint at : connector.ListeningEndpoints()) {
        if (at.port != port)
            continue;  // the watch port's, whose clients cannot type
        // Where it listens on every interface, its loopback is one of them.
        if (at == platform::Endpoint::AnyV4(port))
            at = platform::Endpoint::LoopbackV4(port);
        else if (at == platform::Endpoint::AnyV6(port))
            at = platform::Endpoint::LoopbackV6(port);
        out->key = connector.GetPortText();
        out->title = connector.GetDescription().empty()
                         ? connector.GetPipeName()
                         : connector.GetDescription() + " \xE2\x80\x94 " + connector.GetPipeName();
        out->endpoint = at;
        out->telnet = connector.Settings().telnet;
        out->local = true;
        out->recordings = connector.RecordingFolder();
        return true;
    }
    return false;
}

}  // namespace tolvi::web
