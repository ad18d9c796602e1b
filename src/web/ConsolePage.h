// What the web console answers, decided apart from the HTTP library: which requests are
// let in (the token, the Host and the Origin), what they ask for, and the page's text.
#pragma once
#include <cstdint>
#include <string>

namespace tolvi::web {

struct WebConsole;

// A request as far as the rules look at it.
struct Request {
    std::string method;
    std::string target;  // path and query, as sent
    std::string host;
    bool hasOrigin = false;
    std::string origin;
    bool upgrade = false;  // a WebSocket handshake
};

struct Verdict {
    enum Kind {
        Forbidden, NotFound, BadMethod, Page, Socket, File, Consoles, Tail,
        RecordingsPage, RecordingsList, Recording
    } kind = Forbidden;
    // Page, Socket, Tail and the recordings': the console's key; File: the asset's name
    std::string name;
    std::string recording;  // Recording: the file's name, one of the recordings' names
    size_t tailBytes = 0;  // Tail: how much of the console's latest output (kib=N)
    bool take = false;  // Socket: take=1, the page's "Take over"
};

// Anything without the token, for another Host than 127.0.0.1:port (a name that a foreign
// site rebound to loopback), or with an Origin that is not the server's own, is Forbidden,
// before anything else is looked at. Browsers send no Origin with a page or script they load
// themselves, but always with a WebSocket handshake, which is therefore refused without one.
Verdict Judge(const Request& request, uint16_t port, const std::string& token);

// A new token: 128 bits from the system's strong source, in hex; "" when there is none.
std::string MakeToken();

// The path and query of a console's page, and of its socket; of its recordings' page.
std::string ConsoleTarget(const std::string& key, const std::string& token);
std::string RecordingsTarget(const std::string& key, const std::string& token);

// The page of one console, and the page of its recordings.
std::string PageText(const WebConsole& console, const std::string& token);
std::string RecordingsPageText(const WebConsole& console, const std::string& token);

// Two texts compared in a time that tells nothing about where they differ.
bool SameSecret(const std::string& a, const std::string& b);

}  // namespace tolvi::web
