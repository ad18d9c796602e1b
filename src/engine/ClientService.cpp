// The worker's service of TCP clients: wait, admit or refuse, attach the pipe, relay both
// ways with the Telnet handling, and wait for the next client.
#include <algorithm>

#include "engine/Admission.h"
#include "engine/Alert.h"
#include "engine/Format.h"
#include "engine/PipeConnector.h"
#include "platform/ErrorText.h"
#include "platform/RelayWait.h"
#include "platform/Sleep.h"

namespace tolvi {

using platform::ErrorKind;
using platform::GetSystemErrorText;
using platform::IoResult;
using platform::SysError;

namespace {

constexpr unsigned kPollMs = 500;        // waiting for a client or for the pipe
constexpr long kClientWaitMicros = 500;  // waiting for client data in each relay pass
// Where the wait also wakes for the pipe, nothing is gained by waking sooner than a stop
// request needs; an idle connection then costs next to nothing.
constexpr long kBothSidesWaitMicros = 100000;
constexpr uint32_t kPiece = 255;              // largest pipe read and client receive
constexpr uint32_t kSendBatch = 64 * kPiece;  // pipe pieces gathered into one send
const char kAttachingText[] = "attaching console,wait ...";
const char kConnectedText[] = "connected!\n\n";

}  // namespace

class PipeConnector::AnswerSender : public TelnetParser::Answers {
  public:
    explicit AnswerSender(PipeConnector& connector) : connector_(connector) {}
    void Answer(uint8_t command, uint8_t option) override {
        connector_.SendTelnetCommand(command, option);
    }

  private:
    PipeConnector& connector_;
};

bool PipeConnector::ServeClients() {
    if (stopRequested) {
        DisconnectClient();
        return true;
    }
    for (;;) {
        if (!WaitForClient())
            return false;

        std::string address;
        SysError error = clientSocket.PeerAddress(&address);
        if (error.Failed()) {
            SetErrorText(Format("Could not get client address (%s)",
                                GetSystemErrorText(error.code).c_str()));
            EnterErrorState();
            return false;
        }
        SetClientAddress(address);
        if (!IsClientAdmitted(address, allowNonLocal, listOnly, clientList)) {
            RefuseClient();
            DisconnectClient();
            return true;
        }
        status = Connected;
        if ((error = clientSocket.SetNonBlocking()).Failed()) {
            listenSocket.reset();
            listenPort = 0;
            SetErrorText(Format("Could not set FIONBIO socket option (%s)",
                                GetSystemErrorText(error.code).c_str()));
            EnterErrorState();
            return false;
        }
        telnet.Reset();
        clientBusy = false;

        for (;;) {
            if (stopRequested) {
                DisconnectClient();
                return true;
            }
            PassResult result = RelayPass();
            if (result == PassResult::Stopped)
                return false;
            if (result == PassResult::ClientLeft) {
                DisconnectClient();
                if (stopRequested)
                    return true;
                break;  // wait for the next client
            }
        }
    }
}

bool PipeConnector::WaitForClient() {
    status = Ready;
    for (;;) {
        SysError error = listenSocket->Accept(&clientSocket);
        if (!error.Failed())
            break;
        if (!error.Is(ErrorKind::WouldBlock)) {
            SetErrorText(Format("Accept call failed (%s)", GetSystemErrorText(error.code).c_str()));
            EnterErrorState();
            return false;
        }
        // Woken by a connection at once; the stop request is seen within 500 ms.
        if (listenSocket->WaitReadable(kPollMs * 1000L) < 0)
            platform::SleepMs(kPollMs);
        if (stopRequested)
            return false;
    }
    return !stopRequested;
}

PipeConnector::PassResult PipeConnector::RelayPass() {
    if (!pipeHandle.IsOpen()) {
        AttachResult attach = AttachPipe();
        if (attach == AttachResult::ClientGone)
            return PassResult::ClientLeft;
        if (attach == AttachResult::Stopped)
            return PassResult::Stopped;
        SendTelnetCommand(telnet::kWill, telnet::kEcho);
        SendTelnetCommand(telnet::kWill, telnet::kSuppressGoAhead);
        const uint8_t cr = '\r';
        pipeHandle.Write(&cr, 1, stopRequested);  // a broken pipe shows at the next query
    }

    PassResult result = PipeToClient();
    if (result != PassResult::Continue || !pipeHandle.IsOpen())
        return result;

    // After a full receive more is likely waiting: try it before waiting at all.
    if (!clientBusy) {
        long wait = platform::CanWaitForPipe() ? kBothSidesWaitMicros : kClientWaitMicros;
        if (platform::WaitForClientOrPipe(clientSocket, pipeHandle, wait) != 1) {
            return PassResult::Continue;
        }
    }
    return ClientToPipe();
}

PipeConnector::PassResult PipeConnector::ClientToPipe() {
    // Receive in pieces of at most 255 bytes; while they come full, gather a few more and
    // write them to the pipe together.
    uint8_t piece[kPiece];
    uint8_t data[kSendBatch];
    size_t length = 0;
    PassResult result = PassResult::Continue;
    while (length + kPiece <= sizeof data) {
        IoResult got = clientSocket.Receive(piece, kPiece);
        clientBusy = got.count == static_cast<long>(kPiece);
        if (got.count <= 0) {
            // A reset connection ends the client's turn as a closed one does.
            if (got.count == 0 || !got.error.Is(ErrorKind::WouldBlock)) {
                result = PassResult::ClientLeft;
            }
            break;
        }
        bytesReceived += got.count;
        length += ScanClientChunk(piece, static_cast<size_t>(got.count), data + length);
        if (!clientBusy)
            break;
    }
    if (length > 0)
        WriteToPipe(data, length);
    return result;
}

PipeConnector::PassResult PipeConnector::PipeToClient() {
    uint32_t remaining = 0;
    SysError error = pipeHandle.Peek(&remaining);
    if (error.Is(ErrorKind::BrokenPipe) || error.Is(ErrorKind::PipeNotConnected)) {
        ClosePipe();  // the next pass opens it again for the same client
        return PassResult::Continue;
    }
    if (error.Failed())
        return PassResult::Continue;

    // Read in pieces of at most 255 bytes, but hand them to the client in larger sends.
    uint8_t buffer[kSendBatch];
    uint32_t gathered = 0;
    PassResult result = PassResult::Continue;
    while (remaining > 0) {
        uint32_t got = 0;
        error = pipeHandle.Read(buffer + gathered, std::min(remaining, kPiece), &got);
        if (error.Is(ErrorKind::BrokenPipe) || error.Is(ErrorKind::PipeNotConnected)) {
            ClosePipe();  // what was read still goes to the client below
            break;
        }
        if (error.Failed()) {
            ShowAlert(Format("Could not read from pipe, error %d", error.code));
            break;
        }
        if (got == 0)
            break;
        gathered += got;
        remaining -= std::min(got, remaining);
        if (kSendBatch - gathered < kPiece || remaining == 0) {
            if (!SendAll(buffer, gathered, true)) {
                return stopRequested ? PassResult::Continue : PassResult::ClientLeft;
            }
            gathered = 0;
        }
    }
    if (gathered > 0 && !SendAll(buffer, gathered, true) && !stopRequested) {
        result = PassResult::ClientLeft;
    }
    return result;
}

bool PipeConnector::SendAll(const uint8_t* data, size_t size, bool pipeData) {
    while (size > 0) {
        IoResult sent = clientSocket.Send(data, size);
        if (sent.count > 0) {
            if (pipeData)
                bytesSent += sent.count;
            data += sent.count;
            size -= static_cast<size_t>(sent.count);
            continue;
        }
        if (sent.count < 0 && !sent.error.Is(ErrorKind::WouldBlock))
            return false;
        // The client's window is full: wait for room, still hearing a stop request.
        if (stopRequested)
            return false;
        if (clientSocket.WaitWritable(kPollMs * 1000L) < 0)
            return false;
    }
    return true;
}

size_t PipeConnector::ScanClientChunk(const uint8_t* bytes, size_t count, uint8_t* data) {
    AnswerSender answers(*this);
    return telnet.Feed(bytes, count, data, answers);
}

void PipeConnector::WriteToPipe(const uint8_t* data, size_t length) {
    SysError error = pipeHandle.Write(data, static_cast<uint32_t>(length), stopRequested);
    if (error.Failed() && !error.Is(ErrorKind::Cancelled)) {
        SetErrorText(Format("Could not write to pipe, error %d", error.code));
        ClosePipe();  // the next pass opens it again for the same client
    }
}

PipeConnector::AttachResult PipeConnector::AttachPipe() {
    status = AttachingPipe;
    SendText(kAttachingText);
    if (stopRequested)
        return AttachResult::Stopped;
    for (;;) {
        if (IsClientGone())
            return AttachResult::ClientGone;
        if (!pipeHandle.Open(pipeName).Failed()) {
            SendText(kConnectedText);
            status = Connected;
            return AttachResult::Attached;
        }
        platform::SleepMs(kPollMs);
        if (stopRequested)
            return AttachResult::Stopped;
    }
}

bool PipeConnector::IsClientGone() {
    if (!clientSocket.IsValid())
        return true;
    // What the client typed while it waits for the pipe has nowhere to go.
    uint8_t scratch[kPiece];
    IoResult got = clientSocket.Receive(scratch, sizeof scratch);
    if (got.count > 0)
        return false;
    if (got.count < 0 && got.error.Is(ErrorKind::WouldBlock))
        return false;
    return true;
}

bool PipeConnector::SendTelnetCommand(uint8_t command, uint8_t option) {
    if (!clientSocket.IsValid())
        return false;
    // Sent whole even into a full window: half a command would corrupt the stream.
    const uint8_t bytes[3] = {telnet::kIac, command, option};
    return SendAll(bytes, sizeof bytes, false);
}

void PipeConnector::SendText(const char* text) {
    SendAll(reinterpret_cast<const uint8_t*>(text), std::char_traits<char>::length(text), false);
}

bool PipeConnector::RefuseClient() {
    std::string text = Format("*** Host %s is not authorized to access this service!\n",
                              GetClientAddress().c_str());
    clientSocket.Send(text.data(), text.size());
    return true;
}

}  // namespace tolvi
