// A console in the browser: the WebSocket that an HTTP connection turned into, bridged to the
// connector as one more Telnet client of it.
#pragma once
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/message.hpp>

#include "web/WebServerState.h"

namespace tolvi::web {

// Accepts the WebSocket that request asked for on stream and bridges it to console; take: the
// page asked to take the console. The bridge lives on as long as either side is open.
void OpenConsoleBridge(beast::tcp_stream&& stream, WebConsole console,
                       WebConsoleServer::Impl& server, bool take,
                       beast::http::request<beast::http::empty_body> request);

}  // namespace tolvi::web
