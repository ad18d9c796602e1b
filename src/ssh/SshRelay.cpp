// A session's console, both ways. The console's output is read as the connector gives it,
// held for the client (at most kHeldMost) and written to the channel one turn at a time: as
// much as the client's window takes, once libssh has sent all of the turn before, so that
// what one session keeps is bounded on purpose. What the client sends is read only once the
// console has taken the last of it, so an unread channel keeps its window closed and the
// client waits.
#include <libssh/callbacks.h>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <poll.h>
#endif

#include <algorithm>
#include <chrono>
#include <string>

#include "ssh/SshSession.h"

namespace tolvi::ssh {
namespace {

using Clock = std::chrono::steady_clock;

// What the connector says last to a client it turns away or lets go: a session that ends on
// one of these did not end well, and its exit status says so.
const char kTooSlowText[] = "*** Disconnected: too slow\r\n";
const char* const kTurnedAway[] = {" is not authorized to access this service!\r\n",
                                   " watchers connected\r\n", " clients connected\r\n"};
constexpr size_t kTailKept = 512;

bool EndsWith(const std::string& text, const char* end) {
    size_t size = std::char_traits<char>::length(end);
    return text.size() >= size && text.compare(text.size() - size, size, end) == 0;
}

// The session's end that the console's last words call for.
SessionEnd EndAfter(const std::string& tail) {
    if (EndsWith(tail, kTooSlowText))
        return SessionEnd::TooSlow;
    if (!EndsWith(tail, "\r\n"))
        return SessionEnd::Finished;
    size_t start = tail.rfind("\r\n", tail.size() - 3);
    start = start == std::string::npos ? 0 : start + 2;
    if (tail.compare(start, 4, "*** ") != 0)
        return SessionEnd::Finished;
    for (const char* end : kTurnedAway) {
        if (EndsWith(tail, end))
            return SessionEnd::Refused;
    }
    return SessionEnd::Finished;
}

int MillisUntil(Clock::time_point until, Clock::time_point now) {
    auto left = std::chrono::ceil<std::chrono::milliseconds>(until - now);
    return static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
}

}  // namespace

int SshSession::ReadChannel(ByteQueue& into, size_t most) {
    if (inputEnded) {
        if (taken >= inputEnd)
            return -1;
        most = std::min<uint64_t>(most, inputEnd - taken);
    }
    // Asking for as much as the window should hold grows it to that (libssh's own is 1.25 MB).
    int n =
        ssh_channel_read_timeout(channel, into.Reserve(most), static_cast<uint32_t>(most), 0, 0);
    if (n > 0) {
        into.Commit(static_cast<size_t>(n));
        taken += static_cast<uint64_t>(n);
        return n;
    }
    if (n < 0 || (inputEnded && taken >= inputEnd) || ssh_channel_is_eof(channel))
        return -1;
    return 0;
}

SessionEnd SshSession::Relay(platform::TcpSocket& console, bool watching) {
    console.SetNonBlocking();
    const auto fd = static_cast<socket_t>(console.Native());
    short watched = 0;         // what the event waits for on the console
    ByteQueue toConsole;       // what the client sent that the console has not taken yet
    ByteQueue held;            // what the console said that the channel has not taken yet
    std::string tail;          // the console's last words
    bool clientDone = false;   // the client's input has ended
    bool consoleDone = false;  // the console has closed
    bool dropping = watching;  // what the client types goes nowhere
    bool reading = true;       // the console is still read
    // A script that sends its commands and ends its input (printf 'uptime\r' | ssh ...) still
    // gets what the console answers: the session ends once the console has said nothing for
    // a moment and nothing waits for the client, or once the client has kept up for a while
    // since its input ended. Time the client spends behind never counts.
    constexpr auto kQuiet = std::chrono::milliseconds(1000);
    constexpr auto kLingerMost = std::chrono::seconds(10);
    Clock::time_point quietSince{}, lastTurn = Clock::now();
    Clock::duration lingered{};
    Clock::time_point stalledSince{};  // the client has had output waiting and taken none
    SessionEnd end = SessionEnd::Finished;
    for (;;) {
        // Client to console.
        while (!clientDone) {
            if (!toConsole.Empty()) {
                platform::IoResult r = console.Send(toConsole.Front(), toConsole.Size());
                if (r.count > 0) {
                    toConsole.Consume(static_cast<size_t>(r.count));
                    continue;
                }
                if (r.error.Is(platform::ErrorKind::WouldBlock))
                    break;
                // A console that takes no more may still have words to show before it
                // closes: its output is read to the end, and what is typed is dropped.
                dropping = true;
                toConsole.Clear();
                continue;
            }
            int n = ReadChannel(toConsole, kReceiveWindow);
            if (n > 0 && dropping)
                toConsole.Clear();
            if (n <= 0) {
                clientDone = n < 0;
                break;
            }
        }
        // Console to what is held for the client: its pieces gathered into one turn.
        bool said = false;
        for (size_t pass = 0; reading && !consoleDone && held.Size() < kHeldMost &&
                              pass < kTurnMost;) {
            size_t room = std::min<size_t>(64u << 10, kHeldMost - held.Size());
            platform::IoResult r = console.Receive(held.Reserve(room), room);
            if (r.count <= 0) {
                consoleDone = r.count == 0 || !r.error.Is(platform::ErrorKind::WouldBlock);
                break;
            }
            held.Commit(static_cast<size_t>(r.count));
            pass += static_cast<size_t>(r.count);
            const size_t keep = std::min<size_t>(static_cast<size_t>(r.count), kTailKept);
            tail.append(reinterpret_cast<const char*>(held.Front() + held.Size()) - keep, keep);
            if (tail.size() > kTailKept)
                tail.erase(0, tail.size() - kTailKept);
            said = true;
        }
        // One turn to the channel, while libssh has nothing left of the one before.
        Clock::time_point now = Clock::now();
        if (!held.Empty() && !Pending()) {
            uint32_t window = ssh_channel_window_size(channel);
            if (window > kWindowKept) {
                size_t size = std::min<size_t>({held.Size(), window - kWindowKept, kTurnMost});
                int n = ssh_channel_write(channel, held.Front(), static_cast<uint32_t>(size));
                if (n < 0) {
                    end = SessionEnd::ClientGone;
                    break;
                }
                held.Consume(static_cast<size_t>(n));
                if (n > 0)
                    stalledSince = Clock::time_point{};
            }
        }
        const bool waiting = !held.Empty() || Pending();
        if (held.Empty())
            stalledSince = Clock::time_point{};
        else if (stalledSince == Clock::time_point{})
            stalledSince = now;
        if (held.Size() >= kHeldMost && now - stalledSince >= kStallLimit) {
            // Let go, as a connector lets a client go that cannot keep up: what it could not
            // take is lost to it anyway, and its last words fit in the window kept for them.
            held.Clear();
            uint32_t room = ssh_channel_window_size(channel);
            ssh_channel_write(channel, "\r\n", std::min<uint32_t>(room, 2));
            room = ssh_channel_window_size(channel);
            ssh_channel_write(channel, kTooSlowText,
                              std::min<uint32_t>(room, sizeof kTooSlowText - 1));
            end = SessionEnd::TooSlow;
            break;
        }
        if (consoleDone && !waiting) {
            end = EndAfter(tail);
            break;
        }
        // With the console gone, a client that takes nothing for long is waited for no more.
        if ((consoleDone && stalledSince != Clock::time_point{} &&
             now - stalledSince >= kLastWordsTime) ||
            ssh_channel_is_closed(channel) || peerClosed) {
            end = SessionEnd::ClientGone;
            break;
        }
        int waitMs = -1;
        if (clientDone && toConsole.Empty()) {
            if (quietSince == Clock::time_point{} || said || waiting)
                quietSince = now;
            if (!waiting)
                lingered += now - lastTurn;
            if (lingered >= kLingerMost)
                reading = false;  // what the console says from now on is not waited for
            if (!waiting && (now - quietSince >= kQuiet || !reading))
                break;
            if (!waiting) {
                auto until = std::min(
                    quietSince + kQuiet,
                    now + std::chrono::duration_cast<Clock::duration>(kLingerMost - lingered));
                waitMs = MillisUntil(until, now);
            }
        }
        lastTurn = now;
        if (stalledSince != Clock::time_point{} && (held.Size() >= kHeldMost || consoleDone)) {
            int ms = MillisUntil(
                stalledSince + (consoleDone ? Clock::duration(kLastWordsTime) : kStallLimit), now);
            waitMs = waitMs < 0 ? ms : std::min(waitMs, ms);
        }
        // The console is waited on while there is room to hold what it says, or while the
        // client's bytes wait for it to take them.
        short wanted =
            static_cast<short>((reading && !consoleDone && held.Size() < kHeldMost ? POLLIN : 0) |
                               (!toConsole.Empty() ? POLLOUT : 0));
        if (wanted != watched) {
            if (watched)
                ssh_event_remove_fd(event, fd);
            if (wanted)
                ssh_event_add_fd(event, fd, wanted, OnConsole, this);
            watched = wanted;
        }
        if (!WaitFor(waitMs)) {
            end = stopped ? SessionEnd::ServerStopped : SessionEnd::ClientGone;
            break;
        }
    }
    // (Every way out comes here: the console's socket, closed next, must leave the wait first.)
    if (watched)
        ssh_event_remove_fd(event, fd);
    return end;
}

}  // namespace tolvi::ssh
