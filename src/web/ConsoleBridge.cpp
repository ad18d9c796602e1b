// The console's bridge: Beast's WebSocket to the browser, a stream socket to the connector.
#include "web/ConsoleBridge.h"

#include <boost/asio/generic/stream_protocol.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/websocket.hpp>

#include <array>
#include <deque>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <sys/socket.h>
#endif

#include "engine/ConsoleDirectory.h"
#include "engine/Format.h"
#include "web/TelnetBridge.h"

namespace tolvi::web {
namespace {

namespace http = beast::http;
namespace websocket = beast::websocket;
using Impl = WebConsoleServer::Impl;

// The most a browser sends at once: a large paste.
constexpr size_t kMaxMessage = 1 << 20;
// As much as one read takes: the terminal parses one large message faster than many small
// ones, and draws less often between them.
constexpr size_t kConsoleChunk = 256 * 1024;

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

}  // namespace

void OpenConsoleBridge(beast::tcp_stream&& stream, WebConsole console, Impl& server, bool take,
                       http::request<http::empty_body> request) {
    std::make_shared<Bridge>(std::move(stream), std::move(console), server, take)
        ->Start(std::move(request));
}

}  // namespace tolvi::web
