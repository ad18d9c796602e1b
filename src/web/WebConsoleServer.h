// The web console: a small HTTP and WebSocket server on 127.0.0.1, on a thread of its own,
// that serves a terminal page for each console and bridges its WebSocket to the connector as
// one more Telnet client of it. Every URL carries a token made at start; whatever comes
// without it, or from a page of another origin, is refused.
#pragma once
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/Endpoint.h"

namespace tolvi {
class ConsoleDirectory;
class PipeConnector;
}

namespace tolvi::web {

// One console the server offers: what its URL names it by, its page's title, and where the
// bridge connects to reach it.
struct WebConsole {
    std::string key;    // the connector's port text, as ConsoleOf makes it
    std::string title;  // description and pipe
    platform::Endpoint endpoint;
    bool telnet = true;  // false: a raw connector, whose bytes pass as they are
    // A connector of this program: the bridge joins it through the console directory, as the
    // web client it is, rather than as one more TCP client from 127.0.0.1.
    bool local = false;
    // The folder of its recordings; "" for none.
    std::string recordings;
};

// The console of a connector that listens: its key is its port, and the bridge connects to
// where it listens, loopback for a wildcard address. false while it does not listen.
bool ConsoleOf(const PipeConnector& connector, WebConsole* out);

// Start and Stop belong to the host's thread; the rest may be called from any thread.
class WebConsoleServer {
  public:
    WebConsoleServer();
    // Stops a server that still runs.
    ~WebConsoleServer();
    WebConsoleServer(const WebConsoleServer&) = delete;
    WebConsoleServer& operator=(const WebConsoleServer&) = delete;

    // Listens on 127.0.0.1 at port (0: any free port) with a new token and starts the
    // server's thread. False, with the reason in *error (a sentence that a window can show as
    // it is), when it could not; a running server is stopped first.
    bool Start(uint16_t port, std::string* error);
    // Ends every console's bridge (their connectors see a client leave) and the thread.
    void Stop();
    bool IsRunning() const;
    // The port it listens on; 0 while it does not run.
    uint16_t Port() const;

    // Where the consoles of this program are joined; nullptr: every bridge connects over TCP.
    // It must outlive the server's running.
    void SetDirectory(ConsoleDirectory* directory);

    // The consoles it offers from now on, replacing the earlier ones: the host calls it again
    // whenever a connector is added, replaced, reset or removed. Bridges that are open stay
    // with the console they reached.
    void SetConsoles(std::vector<WebConsole> consoles);
    // http://127.0.0.1:PORT/console/<key>?token=<token>; "" while it does not run.
    std::string ConsoleUrl(const std::string& key) const;
    // http://127.0.0.1:PORT/recordings/<key>?token=<token>; "" while it does not run.
    std::string RecordingsUrl(const std::string& key) const;

    // The server's state, which only its own files see.
    struct Impl;

  private:
    std::unique_ptr<Impl> state;
};

}  // namespace tolvi::web
