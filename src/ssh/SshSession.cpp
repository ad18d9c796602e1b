// One SSH connection's life up to its console. libssh runs non-blocking here: every wait is
// one ssh_event poll over the connection, the server's stop and (once joined) the console, so
// nothing blocks for longer than there is nothing to do, and a stop ends any wait at once.
#include "ssh/SshSession.h"

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>

#include "engine/SafeText.h"
#include "ssh/ConsoleChoice.h"
#include "ssh/PeerPacketSize.h"
#include "ssh/SshSessionCallbacks.h"

namespace tolvi::ssh {

using Clock = std::chrono::steady_clock;

constexpr std::chrono::seconds SshSession::kLoginTime;
constexpr std::chrono::seconds SshSession::kGoodbyeTime;
constexpr std::chrono::seconds SshSession::kLastWordsTime;
constexpr std::chrono::milliseconds SshSession::kStopFlushTime;
constexpr std::chrono::milliseconds SshSession::kStallLimit;

namespace {

const char kStoppedText[] = "\r\n*** The console server stopped\r\n";

int MillisLeft(Clock::time_point until) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - Clock::now());
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

int SshSession::OnConsole(socket_t, int, void*) {
    return 0;
}

SshSession::SshSession(const SessionContext& context, ssh_session session, std::string address,
                       std::string source)
    : context(context),
      session(session),
      address(std::move(address)),
      source(std::move(source)),
      callbacks(std::make_unique<Callbacks>()) {}

SshSession::~SshSession() {
    // The channel goes first, while everything its callbacks reach is still here.
    if (channel) {
        ssh_remove_channel_callbacks(channel, &callbacks->channel);
        ssh_channel_free(channel);
    }
    if (event) {
        ssh_event_remove_fd(event, static_cast<socket_t>(context.stopDescriptor));
        ssh_event_remove_session(event, session);
        ssh_event_free(event);
    }
    ssh_disconnect(session);
    ssh_free(session);
    context.places->Leave(source, loggedIn);
}

void SshSession::Notice(const std::string& line) {
    context.events->OnSshNotice(line);
}

std::string SshSession::ClientName() const {
    return SafeName(key.comment.empty() ? address : key.comment + " " + address);
}

bool SshSession::Closed() const {
    return (ssh_get_status(session) & (SSH_CLOSED | SSH_CLOSED_ERROR)) != 0;
}

bool SshSession::Pending() const {
    return (ssh_get_status(session) & SSH_WRITE_PENDING) != 0;
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
    for (auto delay = context.pacer->Delay(source); !stopped;) {
        auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(start + delay - Clock::now());
        if (left.count() <= 0)
            break;
        ssh_event_dopoll(event, static_cast<int>(left.count()));
    }
    if (!stopped && LogIn())
        Serve();
    if (authenticated)
        context.pacer->Success(source);
    else if (denials > 0)
        Refused();
}

void SshSession::Refuse(const std::string& why) {
    if (refusal.empty())
        refusal = why;  // the first reason says most: clients try their keys before anything
    ++denials;
}

void SshSession::Refused() {
    const std::string as = " as \"" + SafeName(user) + "\"";
    switch (context.pacer->Failure(source)) {
        case LoginPacer::Report::FirstFailure:
            Notice("SSH: login refused from " + address + as + ": " + refusal);
            break;
        case LoginPacer::Report::NowPaced:
            Notice("SSH: logins from " + source + " are paced from now on: " +
                   std::to_string(LoginPacer::kFreeFailures) + " failed within a minute");
            break;
        case LoginPacer::Report::Quiet:
            break;
    }
    context.events->OnLoginRefused(address, user, offeredKey);
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
    // The client closes the channel once it has taken all of this, however late it reads,
    // and then the connection. Closing the connection first could reset it with the client's
    // last packets unread, and the reset can take what was sent to it before it reads it.
    const auto lastWords = Clock::now() + kLastWordsTime;
    while (!peerClosed && WaitFor(MillisLeft(lastWords)) && Clock::now() < lastWords) {
    }
    const auto goodbye = std::min(lastWords, Clock::now() + kGoodbyeTime);
    while (WaitFor(MillisLeft(goodbye)) && Clock::now() < goodbye) {
    }
}

void SshSession::SayStopped() {
    if (!channel || ssh_channel_is_closed(channel))
        return;
    // Only the connection is waited on now: the stop has been seen.
    ssh_event_remove_fd(event, static_cast<socket_t>(context.stopDescriptor));
    uint32_t room = ssh_channel_window_size(channel);
    size_t size = std::min<size_t>(room, sizeof kStoppedText - 1);
    if (size > 0 && !Pending())
        ssh_channel_write(channel, kStoppedText, static_cast<uint32_t>(size));
    ssh_channel_request_send_exit_status(channel, 1);
    ssh_channel_send_eof(channel);
    ssh_channel_close(channel);
    const auto until = Clock::now() + kStopFlushTime;
    while (Pending() && !Closed() && Clock::now() < until)
        ssh_event_dopoll(event, MillisLeft(until));
}

bool SshSession::ChooseConsole(std::string* port) {
    std::vector<ConsoleEntry> allowed = ConsolesFor(key, context.directory->List());
    if (const ConsoleEntry* entry = PickConsole(user, allowed)) {
        *port = entry->port;
        return true;
    }
    Write(ConsoleList(user, allowed));
    TypedLine line(pty);  // without a pty the client's own terminal echoes
    ByteQueue typed;
    for (;;) {
        int n = ReadChannel(typed, 256);
        if (n > 0) {
            std::string shown;
            TypedLine::State state =
                line.Feed(reinterpret_cast<const char*>(typed.Front()), typed.Size(), &shown);
            typed.Clear();
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
        if (n < 0 || !WaitFor(-1)) {
            if (!stopped)
                Finish(1);
            return false;
        }
    }
}

void SshSession::Serve() {
    uint32_t packet = 0;
    if (PeerPacketSize(session, channel, &packet) && packet < kSmallestPacket) {
        Notice("SSH: " + ClientName() + " asked for packets of " + std::to_string(packet) +
               " bytes at most; its channel is refused");
        ssh_channel_close(channel);
        return;
    }
    if (!context.places->LogIn(source)) {
        Write("The console server serves " + std::to_string(ConnectionPlaces::kMaxSessions) +
                  " SSH sessions already; try again later.\r\n",
              true);
        Finish(1);
        return;
    }
    loggedIn = true;
    SessionEnd end = SessionEnd::Refused;
    std::string port;
    if (command == Command::Unknown) {
        Write("Unknown command \"" + SafeName(commandText) +
                  "\": the commands are watch, take and who.\r\n",
              true);
        Finish(1);
    } else if (!ChooseConsole(&port)) {
        end = stopped ? SessionEnd::ServerStopped : SessionEnd::Refused;
    } else if (command == Command::Who) {
        std::string text = context.directory->Who(port), shown;
        for (char c : text)
            shown += c == '\n' ? std::string("\r\n") : std::string(1, c);
        Write(shown);
        Finish(0);
        end = SessionEnd::Finished;
    } else if (command == Command::Take && key.watch) {
        Write("This key may only watch: take is not for it.\r\n", true);
        Finish(1);
    } else {
        JoinRequest request;
        request.port = port;
        request.client.name = ClientName();
        request.client.address = address;
        request.client.keyFingerprint = offeredKey;  // the key that logged in
        request.client.kind = ClientKind::Ssh;
        request.client.watching = key.watch || command == Command::Watch;
        request.take = command == Command::Take;
        platform::TcpSocket console;
        std::string why;
        if (!context.directory->Join(request, &console, &why)) {
            Write(why + "\r\n", true);
            Finish(1);
        } else {
            Notice("SSH: " + request.client.name +
                   (request.client.watching ? " watches " : " opened ") + "console " + port);
            end = Relay(console, request.client.watching);
            console.Close();  // the connector sees its client go before the goodbye's wait
            if (end == SessionEnd::TooSlow)
                Notice("SSH: " + request.client.name + " was let go: too slow");
            if (end == SessionEnd::Finished || end == SessionEnd::TooSlow ||
                end == SessionEnd::Refused)
                Finish(end == SessionEnd::Finished ? 0 : 1);
        }
    }
    if (stopped) {
        SayStopped();
        end = SessionEnd::ServerStopped;
    }
    context.events->OnSessionEnded(ClientName(), end);
}

}  // namespace tolvi::ssh
