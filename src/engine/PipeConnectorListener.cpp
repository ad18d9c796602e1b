// Opening a connector's listening endpoint: a non-blocking IPv4 socket on every local
// interface, whose port no other socket may share.
#include "engine/Format.h"
#include "engine/PipeConnector.h"
#include "engine/PortText.h"
#include "platform/ErrorText.h"

namespace tolvi {

using platform::ErrorKind;
using platform::GetSystemErrorText;
using platform::SysError;

bool PipeConnector::FailListener(const std::string& message) {
    SetErrorText(message);
    EnterErrorState();
    return false;
}

bool PipeConnector::CreateListener(const PipeConnector* predecessor) {
    // doneEvent stays as it is: no worker runs here, and it stays signalled until one does.
    // The endpoint this connector takes over from the one it replaces (or from itself, on a
    // reset) is held until the new bind has been tried.
    std::shared_ptr<platform::TcpSocket> previous;
    uint16_t previousPort = 0;
    if (predecessor) {
        std::lock_guard<std::mutex> lock(predecessor->textLock);
        previous = predecessor->listenSocket;
        previousPort = predecessor->listenPort;
    }
    {
        std::lock_guard<std::mutex> lock(textLock);
        listenPort = 0;
        listenSocket.reset();
    }
    // Only a hand-edited store holds a port the dialogs refuse; listening on whatever number
    // its text gives would put the console on a port nobody chose.
    uint16_t port = 0;
    if (!ListenPortFromText(portText, &port))
        return FailListener("Incorrect port value provided");

    SysError error;
    auto created = std::make_shared<platform::TcpSocket>(platform::TcpSocket::CreateStream(&error));
    platform::TcpSocket& socket = *created;
    if (!socket.IsValid()) {
        return FailListener(
            Format("Could not create socket (%s)", GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.SetExclusivePort()).Failed()) {
        return FailListener(Format("Could not set socket option %s (%s)",
                                   platform::kExclusivePortOption,
                                   GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.Bind("", port)).Failed()) {
        if (error.Is(ErrorKind::AddressInUse) || error.Is(ErrorKind::AccessDenied)) {
            // The port is ours already when the connector this one replaces listens there:
            // its endpoint is handed over, with whatever waits in its backlog. Any other
            // holder, one of our own connectors included, keeps the port to itself.
            if (previous && previous->IsValid() && previousPort == port)
                return AdoptListener(std::move(previous), port);
            return FailListener(
                Format("TCP port %s is used by another application! Please provide new value!",
                       portText.c_str()));
        }
        return FailListener(Format("Bind call failed (%d , %s)", error.code,
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
    uint16_t bound = 0;
    socket.LocalPort(&bound);
    return AdoptListener(std::move(created), bound);
}

bool PipeConnector::AdoptListener(std::shared_ptr<platform::TcpSocket> socket, uint16_t port) {
    {
        std::lock_guard<std::mutex> lock(textLock);
        listenSocket = std::move(socket);
        listenPort = port;
    }
    SetStatus(Ready);
    return true;
}

}  // namespace tolvi
