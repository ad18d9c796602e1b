// Opening a connector's listening endpoint: a non-blocking IPv4 socket on every local
// interface.
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

bool PipeConnector::CreateListener() {
    // doneEvent stays as it is: no worker runs here, and it stays signalled until one does.
    listenPort = 0;
    listenSocket.reset();
    // Only a hand-edited store holds a port the dialogs refuse; listening on whatever number
    // its text gives would put the console on a port nobody chose.
    uint16_t port = 0;
    if (!ListenPortFromText(portText, &port))
        return FailListener("Incorrect port value provided");

    SysError error;
    listenSocket = std::make_shared<platform::TcpSocket>(platform::TcpSocket::CreateStream(&error));
    platform::TcpSocket& socket = *listenSocket;
    if (!socket.IsValid()) {
        return FailListener(
            Format("Could not create socket (%s)", GetSystemErrorText(error.code).c_str()));
    }
    // Lets an edit open the new endpoint on the port the old connector still listens on.
    if ((error = socket.SetReuseAddress()).Failed()) {
        return FailListener(Format("Could not set socket option SO_REUSEADDR (%s)",
                                   GetSystemErrorText(error.code).c_str()));
    }
    if ((error = socket.Bind("", port)).Failed()) {
        if (error.Is(ErrorKind::AddressInUse) || error.Is(ErrorKind::AccessDenied)) {
            if (SharedSocket ours = FindSharedListener(port)) {
                listenSocket = ours;
                listenPort = port;
                SetStatus(Ready);
                return true;
            }
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
        listenSocket.reset();
        return FailListener(Format("Could not set FIONBIO socket option (%s)",
                                   GetSystemErrorText(error.code).c_str()));
    }
    uint16_t bound = 0;
    if (!socket.LocalPort(&bound).Failed())
        listenPort = bound;
    RegisterSharedListener(bound, listenSocket);
    SetStatus(Ready);
    return true;
}

}  // namespace tolvi
