// One HTTP connection of the web console's server: requests for pages, files, recordings and
// the API, until it turns into a console's WebSocket or ends.
#pragma once
#include <memory>

#include "web/WebServerState.h"

namespace tolvi::web {

class HttpSession {
  public:
    virtual ~HttpSession() = default;
    // Whether a whole request has come on it yet.
    virtual bool Asked() const = 0;
    virtual void Close() = 0;
    // Reads the next request and answers it; the connection keeps itself alive meanwhile.
    virtual void Read() = 0;
};

std::shared_ptr<HttpSession> MakeHttpSession(tcp::socket&& socket,
                                             WebConsoleServer::Impl& server);

}  // namespace tolvi::web
