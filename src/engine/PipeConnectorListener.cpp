// Opening a connector's listening endpoints: non-blocking sockets whose ports no other socket
// may share, on the listening address, or on loopback of both families while only local
// clients are admitted and on every interface of both otherwise; the same for the watch port.
#include "engine/Format.h"
#include "engine/PipeConnector.h"
#include "engine/PortText.h"
#include "platform/ErrorText.h"

namespace tolvi {

using platform::Endpoint;
using platform::ErrorKind;
using platform::GetSystemErrorText;
using platform::SysError;

namespace {

std::vector<Endpoint> WithPort(std::vector<Endpoint> where, uint16_t port) {
    for (Endpoint& e : where)
        e.port = port;
    return where;
}

}  // namespace

bool PipeConnector::FailListener(const std::string& message) {
    CloseListeners();
    SetErrorText(message);
    EnterErrorState();
    return false;
}

void PipeConnector::CloseListeners() {
    std::lock_guard<std::mutex> lock(stateLock);
    listeners.clear();
    listenPort = 0;
}

std::vector<Endpoint> PipeConnector::ListeningEndpoints() const {
    std::lock_guard<std::mutex> lock(stateLock);
    std::vector<Endpoint> where;
    for (const Listening& l : listeners)
        where.push_back(l.at);
    return where;
}

std::string PipeConnector::PortInUseText(bool watch) const {
    std::string port = watch ? std::to_string(settings.watchPort) : settings.portText;
    return Format("TCP port %s is used by another application! Please provide new value!",
                  port.c_str());
}

bool PipeConnector::CreateListener(const PipeConnector* predecessor) {
    // The endpoints this connector takes over from the one it replaces (or from itself, on a
    // reset) are held until the new binds have been tried.
    std::vector<Listening> previous;
    if (predecessor) {
        std::lock_guard<std::mutex> lock(predecessor->stateLock);
        previous = predecessor->listeners;
    }
    CloseListeners();
    // Only a hand-edited store holds a port the dialogs refuse; listening on whatever number
    // its text gives would put the console on a port nobody chose.
    uint16_t port = 0;
    if (!ListenPortFromText(settings.portText, &port))
        return FailListener("Incorrect port value provided");
    if (settings.watchPort < 0 || settings.watchPort > 65535)
        return FailListener("Incorrect watch port value provided");

    std::vector<Endpoint> where;
    if (!settings.listenAddress.empty()) {
        Endpoint at;
        if (!platform::ParseAddress(settings.listenAddress, &at))
            return FailListener("Incorrect listen address provided");
        where.push_back(at);
    } else if (!settings.allowNonLocal) {
        // Nobody else is admitted: nobody else is offered the port, nor can fill its backlog.
        where = {Endpoint::LoopbackV4(0), Endpoint::LoopbackV6(0)};
    } else {
        where = {Endpoint::AnyV6(0)};  // one socket for both families where it can be
    }
    if (!OpenEndpoints(WithPort(where, port), false, previous))
        return false;
    if (settings.watchPort != 0 &&
        !OpenEndpoints(WithPort(where, static_cast<uint16_t>(settings.watchPort)), true,
                       previous)) {
        return false;
    }
    SetStatus(Ready);
    return true;
}

bool PipeConnector::OpenEndpoints(const std::vector<Endpoint>& where, bool watch,
                                  const std::vector<Listening>& previous) {
    const bool automatic = settings.listenAddress.empty();
    size_t opened = 0;
    for (const Endpoint& at : where) {
        bool skipped = false;
        if (automatic && at == Endpoint::AnyV6(at.port)) {
            // Every interface: one IPv6 socket that takes IPv4 too, or else one socket a
            // family, or IPv4 alone on a machine without IPv6.
            if (OpenEndpoint(at, true, watch, previous, &skipped)) {
                ++opened;
                continue;
            }
            if (!skipped)
                return false;
            for (const Endpoint& each : {at, Endpoint::AnyV4(at.port)}) {
                if (OpenEndpoint(each, false, watch, previous, &skipped))
                    ++opened;
                else if (!skipped)
                    return false;
            }
            continue;
        }
        if (OpenEndpoint(at, false, watch, previous, &skipped))
            ++opened;
        else if (!skipped)
            return false;  // (::1 on a machine without IPv6 is skipped)
    }
    if (opened == 0)
        return FailListener("Bind call failed (no address to listen on)");
    return true;
}

// skipped: the machine has no such address or family, or (dualStack) no socket that takes
// both; the connector is then not failed, and the caller decides.
bool PipeConnector::OpenEndpoint(const Endpoint& at, bool dualStack, bool watch,
                                 const std::vector<Listening>& previous, bool* skipped) {
    *skipped = false;
    SysError error;
    auto created =
        std::make_shared<platform::TcpSocket>(platform::TcpSocket::CreateStream(&error, at.family));
    platform::TcpSocket& socket = *created;
    if (!socket.IsValid()) {
        if (error.Is(ErrorKind::NotOnThisMachine) && settings.listenAddress.empty()) {
            *skipped = true;
            return false;
        }
        return FailListener(
            Format("Could not create socket (%s)", GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.SetExclusivePort()).Failed()) {
        return FailListener(Format("Could not set socket option %s (%s)",
                                   platform::kExclusivePortOption,
                                   GetSystemErrorText(error.code).c_str()));
    }
    if (dualStack && socket.SetDualStack().Failed()) {
        *skipped = true;
        return false;
    }
    if ((error = socket.Bind(at)).Failed()) {
        if (error.Is(ErrorKind::AddressInUse) || error.Is(ErrorKind::AccessDenied)) {
            // The port is ours already where the connector this one replaces listens on the
            // same address: its endpoint is handed over, with whatever waits in its backlog.
            // Any other holder, one of our own connectors included, keeps it to itself.
            for (const Listening& l : previous) {
                if (l.at == at && l.watch == watch && l.socket && l.socket->IsValid()) {
                    std::lock_guard<std::mutex> lock(stateLock);
                    listeners.push_back(l);
                    if (!watch && listenPort == 0)
                        listenPort = at.port;
                    return true;
                }
            }
            return FailListener(PortInUseText(watch));
        }
        if (error.Is(ErrorKind::NotOnThisMachine) && settings.listenAddress.empty()) {
            *skipped = true;
            return false;
        }
        return FailListener(Format("Bind call failed (%d, %s)", error.code,
                                   GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.Listen(2)).Failed()) {
        return FailListener(
            Format("Listen call failed (%s)", GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.SetNonBlocking()).Failed()) {
        return FailListener(Format("Could not set FIONBIO socket option (%s)",
                                   GetSystemErrorText(error.code).c_str()));
    }
    Endpoint bound = at;
    socket.LocalEndpoint(&bound);
    std::lock_guard<std::mutex> lock(stateLock);
    listeners.push_back(Listening{std::move(created), bound, watch});
    if (!watch && listenPort == 0)
        listenPort = bound.port;
    return true;
}

}  // namespace tolvi
