// The terminal console's relay: one thread waits on the connection, the interrupt and the
// terminal's input together, and does all the sending, so Telnet's answers and what is typed
// never cut into each other.
#include "console/ConsoleSession.h"

#include <chrono>
#include <string>

#include "console/EscapeKeys.h"
#include "engine/TelnetParser.h"
#include "engine/TelnetPolicies.h"
#include "engine/TelnetTyping.h"
#include "platform/ErrorText.h"
#include "platform/Interrupt.h"
#include "platform/Socket.h"
#include "platform/TcpConnect.h"
#include "platform/Terminal.h"
#include "platform/WaitSet.h"

namespace tolvi::console {
namespace {

using Clock = std::chrono::steady_clock;

constexpr int kConnectMs = 10000;
// Once the input has ended (a script piped in), the console's answers are shown until it has
// been quiet this long.
constexpr int kQuietAfterInputMs = 1000;
// What waits to be sent before the terminal's input is taken again.
constexpr size_t kSendLimit = 64 * 1024;

enum class Ending { None, Left, Closed, InputOver, OutputGone, Interrupted, Failed };

std::string Where(const platform::Endpoint& at) {
    std::string address = platform::AddressText(at);
    if (at.family == platform::Family::V6)
        address = "[" + address + "]";
    return address + ":" + std::to_string(at.port);
}

class Session : public TelnetReplies {
  public:
    Session(const ConsoleTarget& console, platform::TcpSocket& connection,
            platform::Terminal& screen, platform::WakeSignal& interrupt)
        : target(console), socket(connection), terminal(screen), interrupted(interrupt) {}

    Ending Run();
    // The program's own line, on a line of its own however the console left the cursor.
    void Line(const std::string& text) const {
        platform::WriteMessage(terminal.KeysRaw() ? "\r\n" + text + "\r\n" : text + "\n");
    }
    platform::SysError failure;

  private:
    void Reply(uint8_t command, uint8_t option) override {
        const char bytes[3] = {static_cast<char>(telnet::kIac), static_cast<char>(command),
                               static_cast<char>(option)};
        toConsole.append(bytes, 3);
    }
    Ending Typed(const std::string& keys);
    Ending Receive();
    Ending Send();

    const ConsoleTarget& target;
    platform::TcpSocket& socket;
    platform::Terminal& terminal;
    platform::WakeSignal& interrupted;
    TelnetParser parser{false};  // the console's output: a NUL after CR is its own
    TelnetClientPolicy policy{*this};
    EscapeKeys escape;
    std::string toConsole;  // waiting to be sent
    Clock::time_point lastHeard = Clock::now();
    uint8_t buffer[16384];
};

Ending Session::Run() {
    platform::WaitSet waits;
    bool inputOver = false;
    for (;;) {
        waits.Clear();
        waits.Add(interrupted);
        bool takeInput = !inputOver && toConsole.size() < kSendLimit;
        if (takeInput)
            waits.Add(terminal.InputWaiting());
        waits.Add(socket, true, !toConsole.empty());
        int timeoutMs = -1;
        if (inputOver && !toConsole.empty()) {
            // Quiet is counted from the last byte sent: a console slow to take a paste is
            // still busy with it, and what waits would be lost.
            lastHeard = Clock::now();
        } else if (inputOver) {
            auto quiet = std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() -
                                                                                lastHeard);
            if (quiet.count() >= kQuietAfterInputMs)
                return Ending::InputOver;
            timeoutMs = kQuietAfterInputMs - static_cast<int>(quiet.count());
        }
        if ((failure = waits.Wait(timeoutMs)).Failed())
            return Ending::Failed;
        if (interrupted.IsSet())
            return Ending::Interrupted;
        if (takeInput) {
            bool ended = false;
            Ending e = Typed(terminal.TakeInput(&ended));
            if (e != Ending::None)
                return e;
            if (ended) {
                inputOver = true;
                lastHeard = Clock::now();
            }
        }
        Ending e = Receive();
        if (e == Ending::None)
            e = Send();
        if (e != Ending::None)
            return e;
    }
}

Ending Session::Typed(const std::string& keys) {
    if (!terminal.KeysRaw()) {
        // Piped in: bytes as they come, with no keys of the program's own among them.
        toConsole += ToConsole(keys.data(), keys.size(), target.telnet);
        return Ending::None;
    }
    for (const KeyEvent& key : escape.Feed(keys)) {
        switch (key.kind) {
            case KeyEvent::Kind::Typed:
                toConsole += ToConsole(key.typed.data(), key.typed.size(), target.telnet);
                break;
            case KeyEvent::Kind::Leave:
                Send();  // what was typed before it, as far as it goes without waiting
                return Ending::Left;
            case KeyEvent::Kind::WhoIsOn:
                if (target.telnet)
                    toConsole += {static_cast<char>(telnet::kIac), static_cast<char>(telnet::kAyt)};
                else
                    Line("A raw console cannot be asked who is on (that takes Telnet).");
                break;
            case KeyEvent::Kind::Help:
                Line(kEscapeHelp);
                break;
        }
    }
    return Ending::None;
}

Ending Session::Receive() {
    // A console that floods is read in turns, so that the keys still get through.
    for (int turn = 0; turn < 16; ++turn) {
        platform::IoResult r = socket.Receive(buffer, sizeof buffer);
        if (r.count == 0 || (r.count < 0 && r.error.PeerGone()))
            return Ending::Closed;
        if (r.count < 0) {
            if (r.error.Is(platform::ErrorKind::WouldBlock))
                return Ending::None;
            failure = r.error;
            return Ending::Failed;
        }
        size_t size = static_cast<size_t>(r.count);
        if (target.telnet)
            size = parser.Feed(buffer, size, buffer, policy);
        if (!terminal.Write(reinterpret_cast<const char*>(buffer), size))
            return Ending::OutputGone;
        lastHeard = Clock::now();
    }
    return Ending::None;
}

Ending Session::Send() {
    while (!toConsole.empty()) {
        platform::IoResult r = socket.Send(toConsole.data(), toConsole.size());
        if (r.count > 0) {
            toConsole.erase(0, static_cast<size_t>(r.count));
            continue;
        }
        if (r.error.Is(platform::ErrorKind::WouldBlock))
            return Ending::None;
        if (r.error.PeerGone())
            return Ending::Closed;
        failure = r.error;
        return Ending::Failed;
    }
    return Ending::None;
}

std::string EndingLine(Ending ending, const ConsoleTarget& target, platform::SysError failure) {
    switch (ending) {
        case Ending::Closed:
            return "Connection closed by the console.\n";
        case Ending::InputOver:
            return "The input has ended: left the console.\n";
        case Ending::OutputGone:
            return "tolvi-relay: the output has gone: left the console.\n";
        case Ending::Interrupted:
            return "Interrupted: left the console.\n";
        case Ending::Failed:
            return "tolvi-relay: the connection to " + Where(target.endpoint) +
                   " broke: " + platform::GetSystemErrorText(failure.code) + "\n";
        default:
            return "Left the console.\n";
    }
}

}  // namespace

int RunConsoleSession(const ConsoleTarget& target) {
    if (platform::SysError e = platform::StartSocketLibrary(); e.Failed()) {
        platform::WriteMessage("tolvi-relay: could not start the socket library (" +
                               platform::GetSystemErrorText(e.code) + ")\n");
        return 1;
    }
    platform::SysError error;
    platform::TcpSocket socket = platform::TcpSocket::CreateStream(&error, target.endpoint.family);
    if (!error.Failed())
        error = platform::ConnectWithin(socket, target.endpoint, kConnectMs);
    if (error.Failed()) {
        std::string where = Where(target.endpoint);
        std::string named = target.title == where ? where : target.title + " at " + where;
        platform::WriteMessage("tolvi-relay: cannot connect to " + named + ": " +
                               platform::GetSystemErrorText(error.code) + "\n");
        return 1;
    }
    // From here an interrupt, the console window's closing among them, ends the session the
    // way leaving does, so that the terminal is given back.
    platform::WakeSignal interrupted;
    platform::CatchInterrupts(&interrupted);
    platform::Terminal terminal;
    std::string warning = terminal.Take();
    Session session(target, socket, terminal, interrupted);
    session.Line("Connected to " + target.title + "." +
                 (terminal.KeysRaw() ? std::string(" ") + kEscapeHelp + "." : std::string()));
    if (!warning.empty())
        session.Line("(" + warning + ")");

    Ending ending = session.Run();
    bool raw = terminal.KeysRaw();
    terminal.Release();
    // The console may have left the cursor anywhere on its line.
    platform::WriteMessage((raw ? "\n" : "") + EndingLine(ending, target, session.failure));
    platform::InterruptsHandled();
    return ending == Ending::Failed || ending == Ending::OutputGone ? 1 : 0;
}

}  // namespace tolvi::console
