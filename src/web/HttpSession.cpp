// The web console's HTTP connections: Beast's parser and serializer, and what each request is
// answered with once ConsolePage has judged it.
#include "web/HttpSession.h"

#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket/rfc6455.hpp>

#include <filesystem>
#include <fstream>
#include <optional>

#include "engine/ConsoleDirectory.h"
#include "platform/Folder.h"
#include "web/Assets.h"
#include "web/ConsoleBridge.h"
#include "web/ConsolePage.h"
#include "web/TelnetBridge.h"

namespace tolvi::web {
namespace {

namespace http = beast::http;
namespace websocket = beast::websocket;
using Impl = WebConsoleServer::Impl;

// A request that has not come whole by then is dropped.
constexpr auto kRequestTime = std::chrono::seconds(30);
// Browsers send every cookie any local web application set for 127.0.0.1: the headers of a
// real browser's request may be long. What is longer still is told so (431).
constexpr size_t kHeaderLimit = 64 * 1024;

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

class Connection : public HttpSession, public std::enable_shared_from_this<Connection> {
  public:
    Connection(tcp::socket&& socket, Impl& server)
        : counted(server), owner(server), http(std::move(socket)) {}

    bool Asked() const override { return asked; }
    void Close() override {
        ErrorCode ignored;
        http.socket().shutdown(tcp::socket::shutdown_send, ignored);
        http.close();
    }

    void Read() override {
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
            OpenConsoleBridge(std::move(http), std::move(console), owner, verdict.take,
                              parser->release());
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

std::shared_ptr<HttpSession> MakeHttpSession(tcp::socket&& socket, Impl& server) {
    return std::make_shared<Connection>(std::move(socket), server);
}

}  // namespace tolvi::web
