// A client's session: receiving with the Telnet handling, and sending its queue.
#include "engine/ClientSession.h"

#include <cstring>

#include "engine/SafeText.h"

namespace tolvi {

using platform::ErrorKind;
using platform::IoResult;

ClientSession::ClientSession(platform::TcpSocket socket, ClientInfo who, bool telnet,
                             bool banners)
    : connection(std::move(socket)), client(std::move(who)), speaksTelnet(telnet), toldBanners(banners) {
    if (client.since == std::chrono::system_clock::time_point{})
        client.since = std::chrono::system_clock::now();
}

ClientSession::ClientSession(platform::TcpSocket socket, std::string address)
    : ClientSession(std::move(socket), ClientInfo{0, address, ClientKind::Telnet, false, {}, 0, 0, address, {}},
                    true, true) {}

ClientInfo ClientSession::Who() const {
    ClientInfo now = client;
    now.bytesToClient = traffic->toClient.load();
    now.bytesFromClient = traffic->fromClient.load();
    return now;
}

void ClientSession::QueueText(const char* text) {
    if (!speaksTelnet) {
        output.AppendProtocol(text, std::strlen(text));
        return;
    }
    std::string doubled = DoubledIac(text);  // a 255 in a text is data, not a command
    output.AppendProtocol(doubled.data(), doubled.size());
}

void ClientSession::QueueTelnetCommand(uint8_t command, uint8_t option) {
    // Queued whole, never split by a full window: half a command would corrupt the stream.
    const uint8_t bytes[3] = {telnet::kIac, command, option};
    output.AppendProtocol(bytes, sizeof bytes);
}

void ClientSession::Offer(uint8_t option) {
    QueueTelnetCommand(telnet::kWill, option);
    policy.Offered(option);
}

size_t ClientSession::Receive(size_t size, ByteQueue& toPipe) {
    uint8_t* room = toPipe.Reserve(size);
    IoResult got = connection.Receive(room, size);
    if (got.count == 0 || (got.count < 0 && !got.error.Is(ErrorKind::WouldBlock))) {
        toPipe.Commit(0);
        gone = true;  // a reset connection ends the client's turn as a closed one does
        return 0;
    }
    if (got.count < 0) {
        toPipe.Commit(0);
        mayRead = false;
        return 0;
    }
    size_t count = static_cast<size_t>(got.count);
    traffic->fromClient += count;
    // Less than asked for: the socket is drained, and says so again when more arrives.
    if (count < size)
        mayRead = false;
    if (!speaksTelnet) {
        toPipe.Commit(count);  // raw: exactly what came
        return count;
    }
    size_t length = parser.Feed(room, count, room, policy);  // the data stays where it came
    if (purgeToPipeAt == kNoPurge) {
        toPipe.Commit(length);
        return count;
    }
    // A purge of what waits for the pipe: what came before it goes, in this receive as well.
    std::string rest(reinterpret_cast<const char*>(room) + purgeToPipeAt, length - purgeToPipeAt);
    purgeToPipeAt = kNoPurge;
    toPipe.Clear();
    toPipe.Append(rest.data(), rest.size());
    return count;
}

void ClientSession::SetAttached(bool attached) {
    if (comPortClient && attached != attachedToPipe) {
        std::string state = comPort.ModemState(attached, true);
        output.AppendProtocol(state.data(), state.size());
    }
    attachedToPipe = attached;
}

ComPortEffects ClientSession::TakeComPortEffects() {
    ComPortEffects news = comPortNews;
    comPortNews = ComPortEffects{};
    return news;
}

void ClientSession::ServerEvents::OnBinaryInput(bool binary) {
    session.parser.SetBinary(binary || session.comPortClient);
}

void ClientSession::ServerEvents::OnComPortAgreed() {
    // A serial line's client sends its bytes as they are, CR NUL included, whether or not it
    // asks for binary; and it learns the lines' state before it asks.
    session.comPortClient = true;
    session.parser.SetBinary(true);
    std::string state = session.comPort.ModemState(session.attachedToPipe, false);
    session.output.AppendProtocol(state.data(), state.size());
}

void ClientSession::ServerEvents::OnComPortRequest(const uint8_t* request, size_t size) {
    std::string answer;
    ComPortEffects asked;
    session.comPort.Request(request, size, *session.line, session.attachedToPipe, &answer, &asked);
    if (asked.purgeFromPipe)
        session.output.DropPipeData();
    if (asked.purgeToPipe)
        session.purgeToPipeAt = session.parser.StoredSoFar();
    session.output.AppendProtocol(answer.data(), answer.size());
    ComPortEffects& news = session.comPortNews;
    news.purgeFromPipe = news.purgeFromPipe || asked.purgeFromPipe;
    news.purgeToPipe = news.purgeToPipe || asked.purgeToPipe;
    news.breakAsked = news.breakAsked || asked.breakAsked;
    news.lineChanged = news.lineChanged || asked.lineChanged;
}

void ClientSession::Track(size_t highWater, Clock::time_point now) {
    if (output.Size() < highWater)
        behindSince = Clock::time_point{};
    else if (behindSince == Clock::time_point{})
        behindSince = now;
}

void ClientSession::CloseWith(const char* text, Clock::time_point deadline) {
    output.Clear();  // what it could not take is lost to it anyway
    QueueText(text);
    attachedToPipe = false;
    closeDeadline = deadline;
}

uint64_t ClientSession::SendPipeData(const uint8_t* data, size_t size) {
    size_t sent = 0;
    if (output.Empty() && !gone) {
        // Up to the first 255, which Telnet doubles, the bytes go out as they are.
        const void* iac = speaksTelnet ? std::memchr(data, telnet::kIac, size) : nullptr;
        size_t plain = iac ? static_cast<size_t>(static_cast<const uint8_t*>(iac) - data) : size;
        if (plain > 0) {
            IoResult result = connection.Send(data, plain);
            if (result.count > 0)
                sent = static_cast<size_t>(result.count);
            else if (!result.error.Is(ErrorKind::WouldBlock))
                gone = true;
        }
    }
    if (!gone)
        output.AppendPipeData(data + sent, size - sent, true, speaksTelnet);
    traffic->toClient += sent;
    return sent;
}

uint64_t ClientSession::Flush(bool* blocked) {
    uint64_t pipeBytes = 0;
    *blocked = false;
    while (!output.Empty()) {
        IoResult sent = connection.Send(output.Front(), output.Size());
        if (sent.count > 0) {
            pipeBytes += output.Consume(static_cast<size_t>(sent.count));
            continue;
        }
        if (sent.count < 0 && sent.error.Is(ErrorKind::WouldBlock))
            *blocked = true;
        else
            gone = true;
        break;
    }
    traffic->toClient += pipeBytes;
    return pipeBytes;
}

}  // namespace tolvi
