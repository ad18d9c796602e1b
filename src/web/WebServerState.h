// What the web console's server shares among its files: Asio's and Beast's names, its limits,
// and the server's state, which its connections count themselves in. Beast is slow to compile;
// the server, its HTTP connections and its consoles' bridges are three files that build side
// by side.
#pragma once
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/beast/core/error.hpp>

#include <atomic>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "model/RecordingCatalog.h"
#include "platform/Endpoint.h"
#include "platform/Thread.h"
#include "web/WebConsoleServer.h"

namespace tolvi::web {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;

class HttpSession;

// Enough for a page and its files in a few browser tabs, with the consoles open; past it a
// local program that opens connections and sends nothing cannot exhaust the server.
constexpr size_t kMaxConnections = 64;

struct WebConsoleServer::Impl {
    std::unique_ptr<asio::io_context> io;
    // Connections that have not yet brought a whole request, oldest first: when every place is
    // taken, these are the first to go, so that a program that opens connections and sends
    // nothing cannot keep a browser's page waiting.
    std::list<std::weak_ptr<HttpSession>> waiting;
    std::atomic<ConsoleDirectory*> directory{nullptr};
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<asio::steady_timer> retry;
    platform::WorkerThread thread;
    std::atomic<bool> running{false};
    std::atomic<uint16_t> port{0};
    size_t connections = 0;  // on the server's thread, or while it does not run

    mutable std::mutex lock;  // guards the two below
    std::string token;
    std::vector<WebConsole> consoles;
    RecordingCatalog recordings;  // on the server's thread

    static void Run(void* self);
    void Accept();
    bool MakeRoom();
    std::string Token() const {
        std::lock_guard<std::mutex> hold(lock);
        return token;
    }
    bool Find(const std::string& key, WebConsole* out) const {
        std::lock_guard<std::mutex> hold(lock);
        for (const WebConsole& c : consoles) {
            if (c.key == key) {
                *out = c;
                return true;
            }
        }
        return false;
    }
};

// Counts itself among the server's connections for as long as it lives.
struct Counted {
    explicit Counted(WebConsoleServer::Impl& server) : owner(server) { ++owner.connections; }
    ~Counted() { --owner.connections; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    WebConsoleServer::Impl& owner;
};

// The error's own words: Asio's errors are not all the system's.
std::string ErrorText(const ErrorCode& e);

}  // namespace tolvi::web
