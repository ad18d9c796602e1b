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
    uint16_t port = PortNumberFromText(portText);
    listenPort = 0;
    listenSocket.Close();

    SysError error;
    listenSocket = platform::TcpSocket::CreateStream(&error);
    if (!listenSocket.IsValid()) {
        return FailListener(Format("Could not create socket (%s)", GetSystemErrorText(error.code).c_str()));
    }
    // Lets an edit open the new endpoint on the port the old connector still listens on.
    if ((error = listenSocket.SetReuseAddress()).Failed()) {
        return FailListener(Format("Could not set socket option SO_REUSEADDR (%s)",
                                   GetSystemErrorText(error.code).c_str()));
    }
    if ((error = listenSocket.Bind("", port)).Failed()) {
        if (error.Is(ErrorKind::AddressInUse) || error.Is(ErrorKind::AccessDenied)) {
            return FailListener(Format(
                "TCP port %s is used by another application! Please provide new value!",
                portText.c_str()));
        }
        return FailListener(Format("Bind call failed (%d , %s)", error.code,
                                   GetSystemErrorText(error.code).c_str()));
    }
    if ((error = listenSocket.Listen(2)).Failed()) {
        return FailListener(Format("Listen call failed (%s)", GetSystemErrorText(error.code).c_str()));
    }
    if ((error = listenSocket.SetNonBlocking()).Failed()) {
        listenSocket.Close();
        return FailListener(Format("Could not set FIONBIO socket option (%s)",
                                   GetSystemErrorText(error.code).c_str()));
    }
    uint16_t bound = 0;
    if (!listenSocket.LocalPort(&bound).Failed()) listenPort = bound;
    status = Ready;
    return true;
}

}  // namespace tolvi
