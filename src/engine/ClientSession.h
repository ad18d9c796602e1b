// One admitted client: its socket, who it is and how it came, its Telnet state (or none, on a
// raw connection or an SSH session), whether it is told the console's banners, whether it only
// watches, and what waits to be sent to it. The connector's worker drives it; the session only
// moves bytes.
#pragma once
#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "engine/ByteQueue.h"
#include "engine/ClientKind.h"
#include "engine/ComPortOption.h"
#include "engine/OutputQueue.h"
#include "engine/TelnetParser.h"
#include "engine/TelnetPolicies.h"
#include "platform/Socket.h"

namespace tolvi {

class ClientSession {
  public:
    // telnet: the client speaks Telnet (announcements, 255 doubled, commands taken out of what
    // it sends); otherwise the bytes go each way as they are. banners: it is a terminal that is
    // told what happens ("attaching console,wait ...", "connected!"), as every Telnet client
    // is; a raw one is told nothing. who.watching: what it types is dropped, and the console
    // never waits for it.
    ClientSession(platform::TcpSocket socket, ClientInfo who, bool telnet, bool banners);
    // A Telnet client of the console's port, from address.
    ClientSession(platform::TcpSocket socket, std::string address);
    ClientSession(const ClientSession&) = delete;
    ClientSession& operator=(const ClientSession&) = delete;

    // Who it is, with its byte counts as they are now.
    ClientInfo Who() const;
    // The counts, shared with the connector's list of its clients, read from other threads.
    std::shared_ptr<const ClientTraffic> SharedTraffic() const { return traffic; }
    // Whether the client asked "are you there?" since the last time this was asked.
    bool TakeAreYouThere() { return policy.TakeAreYouThere(); }
    // How the status lines and the list name it: its address, or its host's name for it.
    const std::string& Name() const { return client.name; }
    bool Telnet() const { return speaksTelnet; }
    // A COM-port client (RFC 2217) is a program that reads a serial line, not a terminal: it
    // is told no banners once it has agreed to the option.
    bool Banners() const { return toldBanners && !comPortClient; }
    bool ComPortClient() const { return comPortClient; }
    // The line its COM port requests set and read: the connector's, shared by its clients.
    void ShareSerialLine(SerialLine* shared) { line = shared; }
    // What its COM port requests asked of the connector since the last time this was asked
    // (its purges are done).
    ComPortEffects TakeComPortEffects();
    bool Watching() const { return client.watching; }
    platform::TcpSocket& Socket() { return connection; }
    OutputQueue& Output() { return output; }
    bool Gone() const { return gone; }
    // False once a receive has found the socket drained: trying again before the next wait
    // would only cost a call. A wait that ends makes every socket worth a try again.
    bool MayRead() const { return mayRead; }
    void SetMayRead() { mayRead = true; }

    // Attached: the client has been told that the pipe is open and gets its data. A COM-port
    // client is told by its modem lines.
    bool Attached() const { return attachedToPipe; }
    void SetAttached(bool attached);

    // What a client sends before the try at opening the pipe that its coming started has ended
    // stays in its socket (TCP's own backpressure holds it), so that a script that writes as
    // it connects loses nothing; it goes to the pipe once that try opens it.
    bool HoldsInput() const { return holdsInput; }
    void SetHoldsInput(bool holds) { holdsInput = holds; }

    // The replay of the console's latest output goes to a client once, when it first gets
    // the pipe; later attachments of the same client send only what is new.
    bool Replayed() const { return replayed; }
    void SetReplayed() { replayed = true; }

    void QueueText(const char* text);
    void QueueTelnetCommand(uint8_t command, uint8_t option);
    // Offers one of our options (IAC WILL option); the client's agreement is not answered.
    void Offer(uint8_t option);

    // Receives at most size bytes straight into toPipe, answers their Telnet commands and
    // keeps only their data there (the caller drops it while the pipe is not open, and what
    // a watcher types). Returns the bytes received (0 when nothing waits); sets Gone when the
    // client has left.
    size_t Receive(size_t size, ByteQueue& toPipe);
    // Hands pipe data to the client: straight to the socket while nothing else is queued
    // (the common case, without a copy), into the queue for the rest. Returns the pipe bytes
    // sent now.
    uint64_t SendPipeData(const uint8_t* data, size_t size);
    // Sends what is queued until the socket takes no more. Returns the pipe bytes sent; sets
    // Gone when the connection has failed. blocked says the socket had no room.
    uint64_t Flush(bool* blocked);

    void MarkGone() { gone = true; }

    // Since when its queue has held more than a high-water mark without falling below it;
    // the epoch while it has not. Kept by Track after every change of the queue.
    using Clock = std::chrono::steady_clock;
    Clock::time_point BehindSince() const { return behindSince; }
    void Track(size_t highWater, Clock::time_point now);

    // A last line, and then the connection ends: once the line is out, or at the deadline.
    void CloseWith(const char* text, Clock::time_point deadline);
    Clock::time_point CloseDeadline() const { return closeDeadline; }

  private:
    // The client's option requests are answered in its own queue.
    struct QueueReplies : TelnetReplies {
        explicit QueueReplies(ClientSession& session) : session(session) {}
        void Reply(uint8_t command, uint8_t option) override {
            session.QueueTelnetCommand(command, option);
        }
        ClientSession& session;
    };

    // A Telnet client's binary and COM port requests.
    struct ServerEvents : TelnetServerEvents {
        explicit ServerEvents(ClientSession& session) : session(session) {}
        void OnBinaryInput(bool binary) override;
        void OnComPortAgreed() override;
        void OnComPortRequest(const uint8_t* request, size_t size) override;
        void OnBreak() override { session.comPortNews.breakAsked = true; }
        ClientSession& session;
    };

    platform::TcpSocket connection;
    ClientInfo client;
    std::shared_ptr<ClientTraffic> traffic = std::make_shared<ClientTraffic>();
    bool speaksTelnet;
    bool toldBanners;
    TelnetParser parser;
    QueueReplies replies{*this};
    ServerEvents events{*this};
    TelnetServerPolicy policy{replies, &events};
    SerialLine ownLine;          // until the connector shares its own
    SerialLine* line = &ownLine;
    ComPortSession comPort;
    bool comPortClient = false;
    ComPortEffects comPortNews;  // for the connector to take
    // Where in the data of the receive being read a purge of what waits for the pipe came.
    static constexpr size_t kNoPurge = static_cast<size_t>(-1);
    size_t purgeToPipeAt = kNoPurge;
    OutputQueue output;
    bool attachedToPipe = false;
    bool gone = false;
    bool mayRead = true;
    bool replayed = false;
    bool holdsInput = false;
    Clock::time_point behindSince{};
    Clock::time_point closeDeadline{};
};

}  // namespace tolvi
