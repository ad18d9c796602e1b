// Where a program keeps its audit trail: who was on each console and how each session ended,
// who was refused or turned away, who took a console, every change of a connector and every
// failed SSH login. A connector's worker tells of its clients; the program's shell tells of the
// rest. Nothing in it is a console's bytes. Called from many threads at once.
#pragma once
#include <string>
#include <vector>

#include "engine/ClientKind.h"
#include "engine/ConnectorSettings.h"

namespace tolvi {

class AuditSink {
  public:
    virtual ~AuditSink() = default;

    // A client's session began; and ended, how saying why: "left", "taken over by NAME",
    // "disconnected from the window", "too slow", "the connector stopped".
    virtual void SessionStarted(const ConnectorSettings& console, const ClientInfo& client) = 0;
    virtual void SessionEnded(const ConnectorSettings& console, const ClientInfo& client,
                              const std::string& how) = 0;
    // A client that was not let on: refused by the admission rule ("not admitted"), or turned
    // away because the console has all the clients it takes ("busy").
    virtual void ClientRefused(const ConnectorSettings& console, const std::string& client,
                               const std::string& address, const std::string& why) = 0;
    // client took the console; the typing clients named in from were let go for it.
    virtual void ConsoleTaken(const ConnectorSettings& console, const ClientInfo& client,
                              const std::vector<std::string>& from) = 0;
    // change: "added", "changed", "removed"; by: "window", "service command", "reload",
    // "command line".
    virtual void ConnectorChanged(const ConnectorSettings& connector, const std::string& change,
                                  const std::string& by) = 0;
    // An SSH login that was refused: from address, with the user name as sent and the
    // fingerprint of the key it offered ("" for none).
    virtual void LoginRefused(const std::string& address, const std::string& userAsSent,
                              const std::string& keyFingerprint) = 0;
};

}  // namespace tolvi
