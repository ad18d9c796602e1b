// The consoles as JSON, with nlohmann's JSON library.
#include "model/ConsolesJson.h"

#include <nlohmann/json.hpp>

#include "engine/ConnectorStatus.h"
#include "engine/Format.h"
#include "engine/LineStamps.h"
#include "engine/PortText.h"
#include "platform/Endpoint.h"

namespace tolvi {

std::string JsonTime(std::chrono::system_clock::time_point at) {
    return TimeText(at, true, "%Y-%m-%dT%H:%M:%S") + "Z";
}

namespace {

std::string Where(const platform::Endpoint& at) {
    std::string address = platform::AddressText(at);
    if (at.family == platform::Family::V6 && !at.IsV4Mapped())
        address = "[" + address + "]";
    return address + ":" + std::to_string(at.port);
}

// JSON's strings must be UTF-8: bytes that are not stand for their Latin-1 characters.
std::string Utf8(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
        bool whole = length > 0 && i + length <= text.size();
        for (size_t k = 1; whole && k < length; ++k)
            whole = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
        if (whole) {
            out.append(text, i, length);
            i += length;
        } else {
            out.push_back(static_cast<char>(0xC0 | (c >> 6)));
            out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
            ++i;
        }
    }
    return out;
}

}  // namespace

std::string ConsolesJson(const ConnectorList& connectors) {
    nlohmann::json all = nlohmann::json::array();
    connectors.ForEach([&all](PipeConnector& c) {
        nlohmann::json listening = nlohmann::json::array();
        for (const platform::Endpoint& at : c.ListeningEndpoints())
            listening.push_back(Where(at));
        nlohmann::json clients = nlohmann::json::array();
        for (const ClientInfo& client : c.Clients()) {
            clients.push_back({{"name", Utf8(client.name)},
                               {"kind", ClientKindWord(client.kind)},
                               {"watching", client.watching},
                               {"since", JsonTime(client.since)},
                               {"bytesToClient", client.bytesToClient},
                               {"bytesFromClient", client.bytesFromClient}});
        }
        nlohmann::json alert = nullptr;
        ConsoleAlert last;
        if (c.LastAlert(&last)) {
            alert = {{"pattern", Utf8(last.pattern)},
                     {"line", Utf8(last.line)},
                     {"at", JsonTime(last.at)},
                     {"more", last.more}};
        }
        all.push_back({{"port", TextToInt(c.GetPortText())},
                       {"pipe", Utf8(c.GetPipeName())},
                       {"description", Utf8(c.GetDescription())},
                       {"status", StatusWord(c.GetStatus())},
                       {"error", Utf8(c.GetErrorText())},
                       {"listening", listening},
                       {"watchPort", c.Settings().watchPort},
                       {"telnet", c.Settings().telnet},
                       {"clients", clients},
                       {"bytesSent", c.GetBytesSent()},
                       {"bytesReceived", c.GetBytesReceived()},
                       {"lastAlert", alert}});
    });
    return all.dump();
}

}  // namespace tolvi
