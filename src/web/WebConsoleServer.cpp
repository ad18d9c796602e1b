// The web console's server: Boost.Beast's HTTP and WebSocket over Boost.Asio, all its
// connections on one thread. The only file that sees Beast, which is slow to compile; what it
// answers is decided in ConsolePage, what it bridges is changed in TelnetBridge.
#include "web/WebConsoleServer.h"

#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

#include <array>
#include <atomic>
#include <deque>
#include <filesystem>
#include <fstream>
#include <list>
#include <mutex>
#include <optional>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include "engine/ConsoleDirectory.h"
#include "engine/Format.h"
#include "model/RecordingCatalog.h"
#include "platform/Folder.h"
#include "platform/Thread.h"
#include "web/Assets.h"
#include "web/ConsolePage.h"
#include "web/TelnetBridge.h"

namespace tolvi::web {
namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using ErrorCode = beast::error_code;

// Enough for a page and its files in a few browser tabs, with the consoles open; past it a
// local program that opens connections and sends nothing cannot exhaust the server.
constexpr size_t kMaxConnections = 64;
// A request that has not come whole by then is dropped.
constexpr auto kRequestTime = std::chrono::seconds(30);
// Browsers send every cookie any local web application set for 127.0.0.1: the headers of a
// real browser's request may be long. What is longer still is told so (431).
constexpr size_t kHeaderLimit = 64 * 1024;
// The most a browser sends at once: a large paste.
constexpr size_t kMaxMessage = 1 << 20;
// As much as one read takes: the terminal parses one large message faster than many small
// ones, and draws less often between them.
constexpr size_t kConsoleChunk = 256 * 1024;

// What the pages may load: their own files alone. The recordings' player runs its terminal in
// WebAssembly, which the browser compiles only when told it may.
const char kPagePolicy[] =
    "default-src 'self'; style-src 'self' 'unsafe-inline'; img-src data:; frame-ancestors 'none'";
const char kPlayerPolicy[] =
    "default-src 'self'; script-src 'self' 'wasm-unsafe-eval'; style-src 'self' "
    "'unsafe-inline'; img-src data:; font-src 'self' data:; frame-ancestors 'none'";

// A recording's file whole, as it is on the disk; false when it cannot be read.
bool ReadRecording(const std::string& path, std::string* bytes) {
    std::ifstream in(std::filesystem::u8path(path), std::ios::binary);
    if (!in)
        return false;
    bytes->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return !in.bad();
}

// The error's own words: Asio's errors are not all the system's.
std::string ErrorText(const ErrorCode& e) {
    return Format("%d, %s", e.value(), e.message().c_str());
}

tcp::endpoint ToAsio(const platform::Endpoint& at) {
    if (at.family == platform::Family::V4) {
        asio::ip::address_v4::bytes_type bytes;
        std::copy(at.address, at.address + 4, bytes.begin());
        return tcp::endpoint(asio::ip::address_v4(bytes), at.port);
    }
    asio::ip::address_v6::bytes_type bytes;
    std::copy(at.address, at.address + 16, bytes.begin());
    return tcp::endpoint(asio::ip::address_v6(bytes, at.scope), at.port);
}

}  // namespace

namespace {
class HttpSession;
}  // namespace

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

namespace {

using Impl = WebConsoleServer::Impl;

// Counts itself among the server's connections for as long as it lives.
struct Counted {
    explicit Counted(Impl& server) : owner(server) { ++owner.connections; }
    ~Counted() { --owner.connections; }
    Counted(const Counted&) = delete;
    Counted& operator=(const Counted&) = delete;
    Impl& owner;
};

// One open console: a WebSocket to the browser and a Telnet connection to the connector.
// Each direction has one read or write under way at a time, so that a slow side holds the
// other back instead of filling memory.
class Bridge : public std::enable_shared_from_this<Bridge> {
  public:
    Bridge(beast::tcp_stream&& stream, WebConsole console, Impl& server, bool take)
        : counted(server),
          owner(server),
          take(take),
          ws(std::move(stream)),
          consoleSide(ws.get_executor()),
          where(std::move(console)),
          fromConsole(where.telnet) {}

    void Start(http::request<http::empty_body> request) {
        beast::get_lowest_layer(ws).expires_never();
        ws.set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
        ws.read_message_max(kMaxMessage);
        ws.async_accept(request, [self = shared_from_this()](ErrorCode e) {
            if (!e)
                self->Connect();
        });
    }

  private:
    void Connect() {
        if (where.local && owner.directory.load()) {
            JoinHere();
            return;
        }
        consoleSide.async_connect(asio::generic::stream_protocol::endpoint(ToAsio(where.endpoint)),
                               [self = shared_from_this()](ErrorCode e) {
            if (e) {
                // As a Telnet client reports a host that does not answer.
                self->toBrowser = Format("Unable to connect to the console at %s port %u: %s\r\n",
                                          platform::AddressText(self->where.endpoint).c_str(),
                                          self->where.endpoint.port, ErrorText(e).c_str());
                self->ws.text(true);
                self->ws.async_write(asio::buffer(self->toBrowser),
                                      [self](ErrorCode, size_t) { self->CloseBrowser(); });
                return;
            }
            ErrorCode ignored;
            self->consoleSide.set_option(tcp::no_delay(true), ignored);
            self->ReadConsole();
            self->ReadBrowser();
        });
    }

    // A connector of this program takes the bridge as the web client it is, named by the
    // browser's address; one that is busy says so at once.
    void JoinHere() {
        ErrorCode e;
        tcp::endpoint browser = beast::get_lowest_layer(ws).socket().remote_endpoint(e);
        std::string address = e ? std::string("127.0.0.1") : browser.address().to_string();
        platform::Endpoint parsed;
        if (platform::ParseAddress(address, &parsed))
            address = platform::AddressText(parsed);  // an IPv4 client in its IPv4 form
        platform::TcpSocket end;
        std::string why;
        // The connector admits it by its address, as it would a Telnet client from there.
        JoinRequest request{
            where.key, HostedClient{"web " + address, ClientKind::Web, false, take, address, {}},
            take};
        if (!owner.directory.load()->Join(request, &end, &why)) {
            Tell("The console cannot be opened: " + why + "\r\n");
            return;
        }
        sockaddr_storage local{};
        socklen_t size = sizeof local;
        getsockname(static_cast<decltype(socket(0, 0, 0))>(end.Native()),
                    reinterpret_cast<sockaddr*>(&local), &size);
        int family = local.ss_family;
        int protocol = family == AF_UNIX ? 0 : IPPROTO_TCP;
        consoleSide.assign(asio::generic::stream_protocol(family, protocol), end.Detach(), e);
        if (e) {
            Tell("The console cannot be opened: " + ErrorText(e) + "\r\n");
            return;
        }
        ReadConsole();
        ReadBrowser();
    }

    // One line to the browser, and the end.
    void Tell(std::string line) {
        toBrowser = std::move(line);
        ws.text(true);
        ws.async_write(asio::buffer(toBrowser),
                        [self = shared_from_this()](ErrorCode, size_t) { self->CloseBrowser(); });
    }

    void ReadConsole() {
        consoleSide.async_read_some(
            asio::buffer(fromPipe),
            [self = shared_from_this()](ErrorCode e, size_t n) { self->OnConsoleData(e, n); });
    }

    void OnConsoleData(ErrorCode e, size_t count) {
        toBrowser.clear();
        if (e) {
            // The connector ended the connection (a busy console, a stop), or the browser's
            // end did: what is left goes to a browser that is still there, then it is closed.
            if (browserGone)
                return;
            fromConsole.Finish(&toBrowser);
            if (toBrowser.empty()) {
                CloseBrowser();
                return;
            }
            ws.text(true);
            ws.async_write(
                asio::buffer(toBrowser),
                [self = shared_from_this()](ErrorCode, size_t) { self->CloseBrowser(); });
            return;
        }
        std::string answers;
        fromConsole.Feed(fromPipe.data(), count, &toBrowser, &answers);
        SendConsole(std::move(answers));
        if (toBrowser.empty()) {
            ReadConsole();
            return;
        }
        ws.text(true);
        ws.async_write(asio::buffer(toBrowser), [self = shared_from_this()](ErrorCode e, size_t) {
            if (e) {
                self->browserGone = true;
                self->CloseConsole();
                return;
            }
            self->ReadConsole();
        });
    }

    void ReadBrowser() {
        ws.async_read(fromBrowser, [self = shared_from_this()](ErrorCode e, size_t) {
            self->OnBrowserData(e);
        });
    }

    void OnBrowserData(ErrorCode e) {
        if (e) {
            browserGone = true;
            CloseConsole();
            return;
        }
        auto data = fromBrowser.data();
        SendConsole(ToConsole(static_cast<const char*>(data.data()), data.size(), where.telnet));
        fromBrowser.consume(data.size());
        if (writing)
            browserWaits = true;  // read on once the console has taken it
        else
            ReadBrowser();
    }

    void SendConsole(std::string bytes) {
        if (bytes.empty() || !consoleSide.is_open())
            return;
        toConsole.push_back(std::move(bytes));
        if (!writing)
            WriteConsole();
    }

    void WriteConsole() {
        writing = true;
        asio::async_write(consoleSide, asio::buffer(toConsole.front()),
                          [self = shared_from_this()](ErrorCode e, size_t) {
                              self->writing = false;
                              if (e) {
                                  self->CloseConsole();
                                  return;
                              }
                              self->toConsole.pop_front();
                              if (!self->toConsole.empty()) {
                                  self->WriteConsole();
                              } else if (self->browserWaits) {
                                  self->browserWaits = false;
                                  self->ReadBrowser();
                              }
                          });
    }

    // The connector sees its client leave; the console's read ends and closes the browser.
    void CloseConsole() {
        ErrorCode ignored;
        consoleSide.shutdown(asio::socket_base::shutdown_both, ignored);
        consoleSide.close(ignored);
        toConsole.clear();
    }

    void CloseBrowser() {
        ws.async_close(websocket::close_code::normal,
                        [self = shared_from_this()](ErrorCode) { self->CloseConsole(); });
    }

    Counted counted;
    Impl& owner;
    bool take;  // the page asked to take the console
    websocket::stream<beast::tcp_stream> ws;
    // The connector's side: a TCP connection, or the stream a connector of this program was
    // joined by (a local socket where the system has them).
    asio::generic::stream_protocol::socket consoleSide;
    WebConsole where;
    FromConsole fromConsole;
    std::array<uint8_t, kConsoleChunk> fromPipe;
    std::string toBrowser;
    beast::flat_buffer fromBrowser;
    std::deque<std::string> toConsole;
    bool writing = false;
    bool browserWaits = false;
    bool browserGone = false;
};

// One HTTP connection: requests for pages and files, until it turns into a console's
// WebSocket or ends.
class HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(tcp::socket&& socket, Impl& server)
        : counted(server), owner(server), http(std::move(socket)) {}

    // Whether a whole request has come on it yet.
    bool Asked() const { return asked; }
    void Close() {
        ErrorCode ignored;
        http.socket().shutdown(tcp::socket::shutdown_send, ignored);
        http.close();
    }

    void Read() {
        parser.emplace();
        parser->header_limit(kHeaderLimit);
        parser->body_limit(0);
        http.expires_after(kRequestTime);
        http::async_read(http, readBuffer, *parser,
                         [self = shared_from_this()](ErrorCode e, size_t) { self->OnRequest(e); });
    }

  private:
    void OnRequest(ErrorCode e) {
        if (e == http::error::header_limit) {
            asked = true;
            Respond(http::status::request_header_fields_too_large, "text/plain",
                    "Request headers too large\n", false);
            return;
        }
        if (e) {
            Close();
            return;
        }
        asked = true;
        const auto& message = parser->get();
        Request request;
        request.method = std::string(message.method_string());
        request.target = std::string(message.target());
        request.host = std::string(message[http::field::host]);
        auto origin = message.find(http::field::origin);
        request.hasOrigin = origin != message.end();
        if (request.hasOrigin)
            request.origin = std::string(origin->value());
        request.upgrade = websocket::is_upgrade(message);

        std::string token = owner.Token();
        Verdict verdict = Judge(request, owner.port, token);
        WebConsole console;
        bool byConsole = verdict.kind == Verdict::Page || verdict.kind == Verdict::Socket ||
                         verdict.kind == Verdict::RecordingsPage ||
                         verdict.kind == Verdict::RecordingsList ||
                         verdict.kind == Verdict::Recording;
        bool known = !byConsole || owner.Find(verdict.name, &console);
        if (!known) {
            Respond(http::status::not_found, "text/plain", "No such console\n");
        } else if (verdict.kind == Verdict::Socket) {
            std::make_shared<Bridge>(std::move(http), std::move(console), owner, verdict.take)
                ->Start(parser->release());
        } else if (verdict.kind == Verdict::Page) {
            Respond(http::status::ok, "text/html; charset=utf-8", PageText(console, token));
        } else if (verdict.kind == Verdict::File) {
            const Asset* asset = FindAsset(verdict.name);
            Respond(http::status::ok, asset->contentType, std::string(asset->data, asset->size));
        } else if (verdict.kind == Verdict::RecordingsPage) {
            Respond(http::status::ok, "text/html; charset=utf-8",
                    RecordingsPageText(console, token), true, kPlayerPolicy);
        } else if (verdict.kind == Verdict::RecordingsList) {
            std::vector<RecordingInfo> list;
            std::string why;
            if (!console.recordings.empty() &&
                !owner.recordings.List(console.recordings, &list, &why)) {
                // The service's, for administrators only, in a program that is not one.
                Respond(http::status::internal_server_error, "text/plain; charset=utf-8",
                        "The recordings in " + console.recordings + " cannot be read: " + why +
                            "\n");
            } else {
                Respond(http::status::ok, "application/json", RecordingsJson(list) + "\n");
            }
        } else if (verdict.kind == Verdict::Recording) {
            std::string bytes;
            if (console.recordings.empty() ||
                !ReadRecording(platform::JoinPath(console.recordings, verdict.recording),
                               &bytes)) {
                Respond(http::status::not_found, "text/plain", "No such recording\n");
            } else {
                // Downloaded as it is: asciinema play FILE plays it.
                Respond(http::status::ok, "application/x-asciicast", std::move(bytes), true,
                        kPagePolicy, "attachment; filename=\"" + verdict.recording + "\"");
            }
        } else if (verdict.kind == Verdict::Consoles) {
            ConsoleDirectory* directory = owner.directory.load();
            Respond(http::status::ok, "application/json",
                    (directory ? directory->StatusJson() : std::string("[]")) + "\n");
        } else if (verdict.kind == Verdict::Tail) {
            ConsoleDirectory* directory = owner.directory.load();
            std::string bytes;
            if (!directory || !directory->Tail(verdict.name, verdict.tailBytes, &bytes)) {
                Respond(http::status::not_found, "text/plain", "No such console\n");
            } else {
                // The console's bytes as text: UTF-8 as it is, any other byte as itself.
                std::string text;
                TextFromBytes decoder;
                decoder.Feed(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), &text);
                decoder.Finish(&text);
                Respond(http::status::ok, "text/plain; charset=utf-8", text);
            }
        } else if (verdict.kind == Verdict::BadMethod) {
            Respond(http::status::method_not_allowed, "text/plain", "Only GET is served\n");
        } else if (verdict.kind == Verdict::NotFound) {
            Respond(http::status::not_found, "text/plain", "Not found\n");
        } else {
            Respond(http::status::forbidden, "text/plain", "Forbidden\n");
        }
    }

    void Respond(http::status status, const char* type, std::string body, bool parsed = true,
                 const char* policy = kPagePolicy, const std::string& disposition = "") {
        auto response = std::make_shared<http::response<http::string_body>>(
            status, parsed ? parser->get().version() : 11, std::move(body));
        response->set(http::field::content_type, type);
        response->set(http::field::cache_control, "no-store");
        response->set("Referrer-Policy", "no-referrer");
        response->set("X-Content-Type-Options", "nosniff");
        response->set("X-Frame-Options", "DENY");
        response->set("Content-Security-Policy", policy);
        if (!disposition.empty())
            response->set(http::field::content_disposition, disposition);
        // A refused request gets no second try on the same connection.
        response->keep_alive(parsed && status != http::status::forbidden &&
                             parser->get().keep_alive());
        response->prepare_payload();
        http::async_write(http, *response,
                          [self = shared_from_this(), response](ErrorCode e, size_t) {
                              if (e || !response->keep_alive())
                                  self->Close();
                              else
                                  self->Read();
                          });
    }

    Counted counted;
    Impl& owner;
    bool asked = false;
    beast::tcp_stream http;
    beast::flat_buffer readBuffer;
    std::optional<http::request_parser<http::empty_body>> parser;
};

}  // namespace

void WebConsoleServer::Impl::Run(void* self) {
    auto* impl = static_cast<Impl*>(self);
    for (;;) {
        try {
            impl->io->run();
            return;
        } catch (...) {
            // A handler that ran out of memory loses its connection, not the server.
        }
    }
}

void WebConsoleServer::Impl::Accept() {
    acceptor->async_accept([this](ErrorCode e, tcp::socket socket) {
        if (e == asio::error::operation_aborted)
            return;
        if (e) {
            // Out of descriptors or buffers for now: try again soon rather than spin.
            retry->expires_after(std::chrono::milliseconds(100));
            retry->async_wait([this](ErrorCode waited) {
                if (!waited)
                    Accept();
            });
            return;
        }
        if (connections < kMaxConnections || MakeRoom()) {
            // The end of each message goes out at once, not after the browser's delayed ACK.
            ErrorCode ignored;
            socket.set_option(tcp::no_delay(true), ignored);
            auto session = std::make_shared<HttpSession>(std::move(socket), *this);
            if (waiting.size() >= 2 * kMaxConnections) {
                waiting.remove_if([](const std::weak_ptr<HttpSession>& w) {
                    auto s = w.lock();
                    return !s || s->Asked();
                });
            }
            waiting.push_back(session);
            session->Read();
        }
        Accept();
    });
}

// Closes the oldest connection that has not asked for anything, if there is one.
bool WebConsoleServer::Impl::MakeRoom() {
    for (auto it = waiting.begin(); it != waiting.end();) {
        std::shared_ptr<HttpSession> session = it->lock();
        it = waiting.erase(it);
        if (session && !session->Asked()) {
            session->Close();
            return true;
        }
    }
    return false;
}

WebConsoleServer::WebConsoleServer() : state(std::make_unique<Impl>()) {}

WebConsoleServer::~WebConsoleServer() {
    Stop();
}

bool WebConsoleServer::Start(uint16_t port, std::string* error) {
    Stop();
    std::string token = MakeToken();
    if (token.empty()) {
        *error = "The web console could not start: no random token could be made for it";
        return false;
    }
    auto io = std::make_unique<asio::io_context>(1);
    auto acceptor = std::make_unique<tcp::acceptor>(*io);
    tcp::endpoint at(asio::ip::address_v4::loopback(), port);
    ErrorCode e;
    acceptor->open(at.protocol(), e);
#ifdef _WIN32
    // Winsock's SO_REUSEADDR would let another program take the port from under us.
    if (!e)
        acceptor->set_option(
            asio::detail::socket_option::boolean<SOL_SOCKET, SO_EXCLUSIVEADDRUSE>(true), e);
#else
    if (!e)
        acceptor->set_option(tcp::acceptor::reuse_address(true), e);
#endif
    if (!e)
        acceptor->bind(at, e);
    if (!e)
        acceptor->listen(asio::socket_base::max_listen_connections, e);
    if (e) {
        *error = Format("The web console could not listen on 127.0.0.1 port %u (%s)", port,
                        ErrorText(e).c_str());
        return false;
    }
    {
        std::lock_guard<std::mutex> hold(state->lock);
        state->token = token;
    }
    state->port = acceptor->local_endpoint(e).port();
    state->io = std::move(io);
    state->acceptor = std::move(acceptor);
    state->retry = std::make_unique<asio::steady_timer>(*state->io);
    state->Accept();
    if (platform::SysError started = state->thread.Start(&Impl::Run, state.get());
        started.Failed()) {
        *error = Format("The web console's thread could not be started (%d)", started.code);
        Stop();
        return false;
    }
    state->running = true;
    return true;
}

void WebConsoleServer::Stop() {
    if (!state->io)
        return;
    state->running = false;
    state->io->stop();
    state->thread.Join();
    // Whatever handlers wait are dropped with the context, and their connections closed.
    state->retry.reset();
    state->acceptor.reset();
    state->io.reset();
    state->port = 0;
    std::lock_guard<std::mutex> hold(state->lock);
    state->token.clear();
}

bool WebConsoleServer::IsRunning() const {
    return state->running;
}

uint16_t WebConsoleServer::Port() const {
    return state->port;
}

void WebConsoleServer::SetDirectory(ConsoleDirectory* directory) {
    state->directory = directory;
}

void WebConsoleServer::SetConsoles(std::vector<WebConsole> consoles) {
    std::lock_guard<std::mutex> hold(state->lock);
    state->consoles = std::move(consoles);
}

std::string WebConsoleServer::ConsoleUrl(const std::string& key) const {
    uint16_t port = state->port;
    std::string token = state->Token();
    if (port == 0 || token.empty())
        return "";
    return "http://127.0.0.1:" + std::to_string(port) + ConsoleTarget(key, token);
}

std::string WebConsoleServer::RecordingsUrl(const std::string& key) const {
    uint16_t port = state->port;
    std::string token = state->Token();
    if (port == 0 || token.empty())
        return "";
    return "http://127.0.0.1:" + std::to_string(port) + RecordingsTarget(key, token);
}

}  // namespace tolvi::web
