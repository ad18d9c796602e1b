// The web console's server: Boost.Asio's acceptor and context, all its connections on one
// thread. What it answers is decided in ConsolePage, what it bridges is changed in
// TelnetBridge; its connections are HttpSession's and ConsoleBridge's.
#include "web/WebConsoleServer.h"

#include "engine/Format.h"
#include "web/ConsolePage.h"
#include "web/HttpSession.h"
#include "web/WebServerState.h"

namespace tolvi::web {

std::string ErrorText(const ErrorCode& e) {
    return Format("%d, %s", e.value(), e.message().c_str());
}

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
            std::shared_ptr<HttpSession> session = MakeHttpSession(std::move(socket), *this);
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
