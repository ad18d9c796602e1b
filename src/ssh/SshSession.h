// One SSH connection, on a thread of its own, from key exchange to its end: public-key
// login, one session channel, the console chosen by the user name (or from the list), and
// then the console's bytes both ways, with backpressure both ways. The session waits only
// on its connection, its console and the server's stop; it never polls on a timer.
#pragma once
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

#include "ssh/AuthorizedKeys.h"
#include "ssh/ConsoleDirectory.h"
#include "ssh/Libssh.h"
#include "ssh/LoginPacer.h"

namespace tolvi::ssh {

// What every session shares with its server.
struct SessionContext {
    ConsoleDirectory* directory = nullptr;
    SshEvents* events = nullptr;
    LoginPacer* pacer = nullptr;
    std::function<AuthorizedKeys()> keys;  // the keys file as it reads now
    intptr_t stopDescriptor = -1;          // readable once the server stops
};

class SshSession {
  public:
    // Between connecting and a console (or its list): longer, and the connection is closed.
    static constexpr std::chrono::seconds kLoginTime{60};
    static constexpr int kMaxAuthTries = 6;
    // How long a finished session waits for its client to close the connection.
    static constexpr std::chrono::seconds kGoodbyeTime{2};

    // session: accepted by the bind, owned from now on; address: the client's, as text.
    SshSession(const SessionContext& context, ssh_session session, std::string address);
    ~SshSession();
    SshSession(const SshSession&) = delete;
    SshSession& operator=(const SshSession&) = delete;

    // The session's whole life; returns when it has ended.
    void Run();

    // libssh's callbacks, which find the session through their userdata.
    struct Callbacks;

  private:
    enum class Command { None, Shell, Watch, Take, Who, Unknown };

    // Waits for the connection, the console or the stop; false once the stop came or the
    // connection closed.
    bool WaitFor(int timeoutMs);
    bool Closed() const;
    bool LogIn();
    void Serve();
    bool ChooseConsole(std::string* port);
    void Relay(platform::TcpSocket& console, bool watching);
    void Write(const std::string& text, bool toStderr = false);
    void Finish(int exitStatus);
    void Refuse(const std::string& why);
    void Refused();
    void Notice(const std::string& line);
    std::string ClientName() const;

    SessionContext context;
    ssh_session session;
    ssh_event event = nullptr;
    std::string address;
    bool stopped = false;  // the server's stop was seen

    // Login.
    std::string user;
    bool keysLoaded = false;
    AuthorizedKeys keys;
    AuthorizedKey key;
    bool authenticated = false;
    int denials = 0;
    std::string refusal;  // why the first attempt was refused

    // The channel and what was asked of it.
    ssh_channel channel = nullptr;
    bool pty = false;
    Command command = Command::None;
    std::string commandText;

    std::unique_ptr<Callbacks> callbacks;
};

}  // namespace tolvi::ssh
