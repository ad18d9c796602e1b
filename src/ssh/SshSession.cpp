// One SSH connection's life. libssh runs non-blocking here: every wait is one ssh_event poll
// over the connection, the server's stop and (once joined) the console, so nothing blocks
// for longer than there is nothing to do, and a stop ends any wait at once.
#include "ssh/SshSession.h"

#include <libssh/callbacks.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>

#include "ssh/Base64.h"
#include "ssh/ConsoleChoice.h"

namespace tolvi::ssh {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds SshSession::kLoginTime;
constexpr std::chrono::seconds SshSession::kGoodbyeTime;

struct SshSession::Callbacks {
    ssh_server_callbacks_struct server{};
    ssh_channel_callbacks_struct channel{};

    static SshSession& Of(void* userdata) { return *static_cast<SshSession*>(userdata); }

    static int OnStop(socket_t, int, void* userdata) {
        Of(userdata).stopped = true;
        return 0;
    }
    // The console's readiness only ends the wait; Relay does the reading and writing.
    static int OnConsole(socket_t, int, void*) { return 0; }

    static int OnNone(ssh_session, const char*, void*) { return SSH_AUTH_DENIED; }

    static int OnPassword(ssh_session, const char*, const char*, void* userdata) {
        SshSession& s = Of(userdata);
        s.Refuse("a password was offered; only keys are accepted");
        return SSH_AUTH_DENIED;
    }

    static int OnPublicKey(ssh_session, const char* user, ssh_key_struct* offered, char state,
                           void* userdata) {
        SshSession& s = Of(userdata);
        if (!s.keysLoaded) {
            s.keys = s.context.keys();
            s.keysLoaded = true;
        }
        char* base64 = nullptr;
        std::string blob;
        const AuthorizedKey* entry = nullptr;
        if (ssh_pki_export_pubkey_base64(offered, &base64) == SSH_OK) {
            if (Base64Decode(base64, &blob))
                entry = s.keys.Find(blob);
            ssh_string_free_char(base64);
        }
        if (!entry) {
            s.Refuse("key " + Sha256Fingerprint(offered) + " is not authorized");
            return SSH_AUTH_DENIED;
        }
        if (state == SSH_PUBLICKEY_STATE_NONE)
            return SSH_AUTH_SUCCESS;  // the key would do: the client may sign with it
        if (state != SSH_PUBLICKEY_STATE_VALID) {
            s.Refuse("a key's signature was wrong");
            return SSH_AUTH_DENIED;
        }
        s.key = *entry;
        s.user = user;
        s.authenticated = true;
        return SSH_AUTH_SUCCESS;
    }

    static ssh_channel OnChannelOpen(ssh_session session, void* userdata) {
        SshSession& s = Of(userdata);
        if (!s.authenticated || s.channel)
            return nullptr;  // one console a connection
        s.channel = ssh_channel_new(session);
        if (s.channel) {
            ssh_channel_callbacks_struct& c = s.callbacks->channel;
            c.userdata = &s;
            c.channel_pty_request_function = OnPty;
            c.channel_pty_window_change_function = OnWindowChange;
            c.channel_shell_request_function = OnShell;
            c.channel_exec_request_function = OnExec;
            ssh_callbacks_init(&c);
            ssh_set_channel_callbacks(s.channel, &c);
        }
        return s.channel;
    }

    static int OnPty(ssh_session, ssh_channel, const char*, int, int, int, int, void* userdata) {
        Of(userdata).pty = true;
        return 0;
    }
    // A serial console has no size to set: the change is taken and goes no further.
    static int OnWindowChange(ssh_session, ssh_channel, int, int, int, int, void*) { return 0; }

    static int OnShell(ssh_session, ssh_channel, void* userdata) {
        SshSession& s = Of(userdata);
        if (s.command != Command::None)
            return -1;
        s.command = Command::Shell;
        return 0;
    }

    static int OnExec(ssh_session, ssh_channel, const char* text, void* userdata) {
        SshSession& s = Of(userdata);
        if (s.command != Command::None)
            return -1;
        s.commandText = text;
        s.command = s.commandText == "watch"  ? Command::Watch
                    : s.commandText == "take" ? Command::Take
                    : s.commandText == "who"  ? Command::Who
                                              : Command::Unknown;
        return 0;
    }
};

SshSession::SshSession(const SessionContext& context, ssh_session session, std::string address)
    : context(context),
      session(session),
      address(std::move(address)),
      callbacks(std::make_unique<Callbacks>()) {}

SshSession::~SshSession() {
    if (event) {
        ssh_event_remove_fd(event, static_cast<socket_t>(context.stopDescriptor));
        ssh_event_remove_session(event, session);
        ssh_event_free(event);
    }
    ssh_disconnect(session);
    ssh_free(session);
}

void SshSession::Notice(const std::string& line) {
    context.events->OnSshNotice(line);
}

std::string SshSession::ClientName() const {
    return key.comment.empty() ? address : key.comment + " " + address;
}

bool SshSession::Closed() const {
    return (ssh_get_status(session) & (SSH_CLOSED | SSH_CLOSED_ERROR)) != 0;
}

bool SshSession::WaitFor(int timeoutMs) {
    if (stopped || Closed())
        return false;
    return ssh_event_dopoll(event, timeoutMs) != SSH_ERROR && !stopped;
}

void SshSession::Run() {
    event = ssh_event_new();
    if (!event || ssh_event_add_fd(event, static_cast<socket_t>(context.stopDescriptor), POLLIN,
                                   Callbacks::OnStop, this) != SSH_OK)
        return;
    // A paced address waits before anything costs the server work; only the stop ends it.
    const auto start = Clock::now();
    for (auto delay = context.pacer->Delay(address); !stopped;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(start + delay - Clock::now());
        if (left.count() <= 0)
            break;
        ssh_event_dopoll(event, static_cast<int>(left.count()));
    }
    if (!stopped && LogIn())
        Serve();
    if (authenticated)
        context.pacer->Success(address);
    else if (denials > 0)
        Refused();
}

void SshSession::Refuse(const std::string& why) {
    if (refusal.empty())
        refusal = why;  // the first reason says most: clients try their keys before anything
    ++denials;
}

void SshSession::Refused() {
    switch (context.pacer->Failure(address)) {
        case LoginPacer::Report::FirstFailure:
            Notice("SSH: login refused from " + address + ": " + refusal);
            break;
        case LoginPacer::Report::NowPaced:
            Notice("SSH: logins from " + address + " are paced from now on: " +
                   std::to_string(LoginPacer::kFreeFailures) + " failed within a minute");
            break;
        case LoginPacer::Report::Quiet:
            break;
    }
}

bool SshSession::LogIn() {
    ssh_server_callbacks_struct& c = callbacks->server;
    c.userdata = this;
    c.auth_none_function = Callbacks::OnNone;
    c.auth_password_function = Callbacks::OnPassword;
    c.auth_pubkey_function = Callbacks::OnPublicKey;
    c.channel_open_request_session_function = Callbacks::OnChannelOpen;
    ssh_callbacks_init(&c);
    ssh_set_server_callbacks(session, &c);
    ssh_set_auth_methods(session, SSH_AUTH_METHOD_PUBLICKEY);
    ssh_set_blocking(session, 0);
    const auto deadline = Clock::now() + kLoginTime;
    bool exchanged = false, added = false;
    for (;;) {
        if (!exchanged) {
            int rc = ssh_handle_key_exchange(session);
            if (rc == SSH_ERROR)
                return false;
            exchanged = rc == SSH_OK;
        }
        // The connection has its poll handle once the exchange has begun.
        if (!added && ssh_event_add_session(event, session) != SSH_OK)
            return false;
        added = true;
        if (authenticated && command != Command::None)
            return true;
        if (denials >= kMaxAuthTries) {
            refusal += ", then too many attempts";
            return false;
        }
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitFor(static_cast<int>(left.count())))
            return false;
    }
}

void SshSession::Write(const std::string& text, bool toStderr) {
    for (size_t done = 0; done < text.size();) {
        auto size = static_cast<uint32_t>(text.size() - done);
        int n = toStderr ? ssh_channel_write_stderr(channel, text.data() + done, size)
                         : ssh_channel_write(channel, text.data() + done, size);
        if (n < 0)
            return;
        done += static_cast<size_t>(n);
        if (done < text.size() && !WaitFor(-1))
            return;
    }
}

void SshSession::Finish(int exitStatus) {
    if (ssh_channel_is_closed(channel))
        return;
    ssh_channel_request_send_exit_status(channel, exitStatus);
    ssh_channel_send_eof(channel);
    ssh_channel_close(channel);
    // The client closes the connection once it has taken all of this. Closing it first
    // could reset it with the client's last packets unread, and the reset can take what
    // was sent to it before the client reads it.
    const auto deadline = Clock::now() + kGoodbyeTime;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
        if (left.count() <= 0 || !WaitFor(static_cast<int>(left.count())))
            break;
    }
}

bool SshSession::ChooseConsole(std::string* port) {
    std::vector<ConsoleEntry> allowed = ConsolesFor(key, context.directory->List());
    if (const ConsoleEntry* entry = PickConsole(user, allowed)) {
        *port = entry->port;
        return true;
    }
    Write(ConsoleList(user, allowed));
    TypedLine line(pty);  // without a pty the client's own terminal echoes
    char buffer[256];
    for (;;) {
        int n = ssh_channel_read_nonblocking(channel, buffer, sizeof buffer, 0);
        if (n > 0) {
            std::string shown;
            TypedLine::State state = line.Feed(buffer, static_cast<size_t>(n), &shown);
            Write(shown);
            if (state == TypedLine::State::Typing)
                continue;
            if (state == TypedLine::State::Done && !line.Text().empty()) {
                allowed = ConsolesFor(key, context.directory->List());
                if (const ConsoleEntry* entry = PickConsole(line.Text(), allowed)) {
                    *port = entry->port;
                    return true;
                }
                Write(NoSuchConsole(line.Text()));
            }
            Finish(1);
            return false;
        }
        if (n < 0 || ssh_channel_is_eof(channel) || !WaitFor(-1)) {
            Finish(1);
            return false;
        }
    }
}

void SshSession::Serve() {
    if (command == Command::Unknown) {
        Write("Unknown command \"" + commandText + "\": the commands are watch, take and who.\r\n",
              true);
        Finish(1);
        return;
    }
    std::string port;
    if (!ChooseConsole(&port))
        return;
    if (command == Command::Who) {
        std::string text = context.directory->Who(port), shown;
        for (char c : text)
            shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
        Write(shown);
        Finish(0);
        return;
    }
    if (command == Command::Take && key.watch) {
        Write("This key may only watch: take is not for it.\r\n", true);
        Finish(1);
        return;
    }
    JoinRequest request;
    request.port = port;
    request.client.name = ClientName();
    request.client.kind = ClientKind::Ssh;
    request.client.watching = key.watch || command == Command::Watch;
    request.take = command == Command::Take;
    platform::TcpSocket console;
    std::string why;
    if (!context.directory->Join(request, &console, &why)) {
        Write(why + "\r\n", true);
        Finish(1);
        return;
    }
    Notice("SSH: " + request.client.name + (request.client.watching ? " watches " : " opened ") +
           "console " + port);
    Relay(console, request.client.watching);
}

void SshSession::Relay(platform::TcpSocket& console, bool watching) {
    console.SetNonBlocking();
    const auto fd = static_cast<socket_t>(console.Native());
    short watched = 0;      // what the event waits for on the console
    std::string toConsole;  // what the client sent that the console has not taken yet
    size_t sent = 0;
    char buffer[16384];
    bool clientDone = false;   // the client's input has ended
    // A script that sends its commands and ends its input (printf 'uptime\r' | ssh ...) still
    // gets what the console answers: the session ends once the console has said nothing for
    // a moment after the input ended, or after a while at most.
    constexpr auto kQuiet = std::chrono::milliseconds(1000);
    constexpr auto kLingerMost = std::chrono::seconds(10);
    Clock::time_point quietSince{}, lingerEnd{};
    bool clientGone = false;   // nothing more reaches the client
    bool consoleDone = false;  // the console has closed
    bool dropping = watching;  // what the client types goes nowhere
    while (!consoleDone) {
        // Client to console: the channel is read only once the console took the last piece,
        // so an unread channel keeps its window closed and the client waits.
        while (!clientDone) {
            if (sent < toConsole.size()) {
                platform::IoResult r =
                    console.Send(toConsole.data() + sent, toConsole.size() - sent);
                if (r.count > 0) {
                    sent += static_cast<size_t>(r.count);
                    continue;
                }
                if (r.error.Is(platform::ErrorKind::WouldBlock))
                    break;
                // A console that takes no more may still have words to show before it
                // closes: its output is read to the end, and what is typed is dropped.
                dropping = true;
                toConsole.clear();
                sent = 0;
                continue;
            }
            int n = ssh_channel_read_nonblocking(channel, buffer, sizeof buffer, 0);
            if (n > 0 && !dropping) {
                toConsole.assign(buffer, static_cast<size_t>(n));
                sent = 0;
            } else if (n <= 0) {
                clientDone = n < 0 || ssh_channel_is_eof(channel);
                break;
            }
        }
        if (consoleDone)
            break;
        int waitMs = -1;
        if (clientDone && sent >= toConsole.size()) {
            Clock::time_point now = Clock::now();
            if (lingerEnd == Clock::time_point{}) {
                lingerEnd = now + kLingerMost;
                quietSince = now;
            }
            Clock::time_point end = std::min(quietSince + kQuiet, lingerEnd);
            if (now >= end)
                break;
            waitMs = static_cast<int>(
                std::chrono::ceil<std::chrono::milliseconds>(end - now).count());
        }
        // Console to client: the console is read only while the channel's window has room.
        while (uint32_t window = ssh_channel_window_size(channel)) {
            platform::IoResult r = console.Receive(buffer, std::min<size_t>(sizeof buffer, window));
            if (r.count <= 0) {
                consoleDone = r.count == 0 || !r.error.Is(platform::ErrorKind::WouldBlock);
                break;
            }
            if (ssh_channel_write(channel, buffer, static_cast<uint32_t>(r.count)) < 0) {
                clientGone = true;
                break;
            }
            quietSince = Clock::now();
        }
        if (consoleDone || clientGone || ssh_channel_is_closed(channel))
            break;
        short wanted = static_cast<short>((ssh_channel_window_size(channel) > 0 ? POLLIN : 0) |
                                          (sent < toConsole.size() ? POLLOUT : 0));
        if (wanted != watched) {
            if (watched)
                ssh_event_remove_fd(event, fd);
            if (wanted)
                ssh_event_add_fd(event, fd, wanted, Callbacks::OnConsole, this);
            watched = wanted;
        }
        if (!WaitFor(waitMs))
            break;
    }
    if (watched)
        ssh_event_remove_fd(event, fd);
    if (!stopped)
        Finish(0);
}

}  // namespace tolvi::ssh
