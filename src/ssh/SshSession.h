// One SSH connection, on a thread of its own, from key exchange to its end: public-key
// login, one session channel, the console chosen by the user name (or from the list), and
// then the console's bytes both ways. The session waits only on its connection, its console
// and the server's stop, and on a timer only while its client keeps it waiting.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "engine/ByteQueue.h"
#include "ssh/AuthorizedKeys.h"
#include "ssh/ConnectionPlaces.h"
#include "ssh/ConsoleDirectory.h"
#include "ssh/Libssh.h"
#include "ssh/LoginPacer.h"

namespace tolvi::ssh {

// What every session shares with its server.
struct SessionContext {
    ConsoleDirectory* directory = nullptr;
    SshEvents* events = nullptr;
    LoginPacer* pacer = nullptr;
    ConnectionPlaces* places = nullptr;
    std::function<AuthorizedKeys()> keys;  // the keys file as it reads now
    intptr_t stopDescriptor = -1;          // readable once the server stops
};

class SshSession {
  public:
    // Between connecting and a console (or its list): longer, and the connection is closed.
    static constexpr std::chrono::seconds kLoginTime{20};
    static constexpr int kMaxAuthTries = 6;
    // How long a finished session waits for its client to close the connection once the
    // client has closed the channel, and for the client to take its last words at all.
    static constexpr std::chrono::seconds kGoodbyeTime{2};
    static constexpr std::chrono::seconds kLastWordsTime{60};
    // At a stop, how long the last line may take to leave.
    static constexpr std::chrono::milliseconds kStopFlushTime{1000};
    // The console's output held for a client that reads late; a client that has taken none of
    // it for kStallLimit while this much waits is let go, as a shared console lets any slow
    // client go.
    static constexpr size_t kHeldMost = 4u << 20;
    static constexpr std::chrono::milliseconds kStallLimit{1000};
    // One write to the channel takes at most this much, and libssh holds at most one write:
    // nothing more is written while it has any of it left to send.
    static constexpr size_t kTurnMost = 256u << 10;
    // Left free in the client's window, so that the last words of a session let go fit.
    static constexpr uint32_t kWindowKept = 64;
    // What the client may send before it must wait for us: its window, as large as OpenSSH's.
    static constexpr uint32_t kReceiveWindow = 2u << 20;
    // A channel whose client takes packets smaller than this is refused: writing to it would
    // cost a packet every few bytes (or, at ten bytes, never end).
    static constexpr uint32_t kSmallestPacket = 256;

    // session: accepted by the bind, owned from now on; address: the client's, as text;
    // source: its place among the connections not logged in, which it holds until it ends.
    SshSession(const SessionContext& context, ssh_session session, std::string address,
               std::string source);
    ~SshSession();
    SshSession(const SshSession&) = delete;
    SshSession& operator=(const SshSession&) = delete;

    // The session's whole life; returns when it has ended.
    void Run();

    // libssh's callbacks, which find the session through their userdata.
    struct Callbacks;
    // The console's readiness only ends the wait; Relay does the reading and writing.
    static int OnConsole(socket_t, int, void*);

  private:
    enum class Command { None, Shell, Watch, Take, Who, Unknown };

    // Waits for the connection, the console or the stop; false once the stop came or the
    // connection closed.
    bool WaitFor(int timeoutMs);
    bool Closed() const;
    bool Pending() const;  // libssh has bytes it could not send yet
    bool LogIn();
    void Serve();
    bool ChooseConsole(std::string* port);
    SessionEnd Relay(platform::TcpSocket& console, bool watching);
    // Reads what the client sent into into, never past the end of its input; the bytes read,
    // 0 while none wait, -1 once its input has ended or the channel failed.
    int ReadChannel(ByteQueue& into, size_t most);
    void Write(const std::string& text, bool toStderr = false);
    // The exit status, the end of the channel, and the wait for the client to take them.
    void Finish(int exitStatus);
    // At the server's stop: the last line and an exit status, sent within kStopFlushTime.
    void SayStopped();
    void Refuse(const std::string& why);
    void Refused();
    void Notice(const std::string& line);
    std::string ClientName() const;

    SessionContext context;
    ssh_session session;
    ssh_event event = nullptr;
    std::string address;
    std::string source;
    bool stopped = false;   // the server's stop was seen
    bool loggedIn = false;  // holds a session's place rather than a stranger's

    // Login.
    std::string user;  // as the client sent it
    bool keysLoaded = false;
    AuthorizedKeys keys;
    AuthorizedKey key;
    bool authenticated = false;
    int denials = 0;
    std::string refusal;     // why the first attempt was refused
    std::string offeredKey;  // the fingerprint of the last key offered

    // The channel and what was asked of it.
    ssh_channel channel = nullptr;
    bool pty = false;
    Command command = Command::None;
    std::string commandText;
    // What the client sent: counted as it arrives and as it is read, so that nothing that
    // arrives after the client ended its input (or closed the channel) is ever read.
    uint64_t arrived = 0, taken = 0;
    bool inputEnded = false;
    uint64_t inputEnd = 0;
    bool peerClosed = false;  // the client closed the channel

    std::unique_ptr<Callbacks> callbacks;
};

}  // namespace tolvi::ssh
