// The consoles as JSON, with nlohmann's JSON library.
#include "model/ConsolesJson.h"

#include <nlohmann/json.hpp>

#include "engine/ConnectorStatus.h"
#include "engine/Format.h"
#include "engine/LineStamps.h"
#include "engine/PortText.h"
#include "engine/SafeText.h"
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

}  // namespace

std::string ConsolesJson(const ConnectorList& connectors, bool consoleText) {
    nlohmann::json all = nlohmann::json::array();
    connectors.ForEach([&all, consoleText](PipeConnector& c) {
        nlohmann::json listening = nlohmann::json::array();
        for (const platform::Endpoint& at : c.ListeningEndpoints())
            listening.push_back(Where(at));
        nlohmann::json clients = nlohmann::json::array();
        for (const ClientInfo& client : c.Clients()) {
            clients.push_back({{"name", SafeName(client.name)},
                               {"kind", ClientKindWord(client.kind)},
                               {"watching", client.watching},
                               {"since", JsonTime(client.since)},
                               {"bytesToClient", client.bytesToClient},
                               {"bytesFromClient", client.bytesFromClient}});
        }
        nlohmann::json alert = nullptr;
        ConsoleAlert last;
        if (c.LastAlert(&last)) {
            alert = {{"pattern", ValidUtf8(last.pattern)},
                     {"line", consoleText ? nlohmann::json(ValidUtf8(last.line)) : nullptr},
                     {"at", JsonTime(last.at)},
                     {"more", last.more}};
        }
        all.push_back({{"port", TextToInt(c.GetPortText())},
                       {"pipe", ValidUtf8(c.GetPipeName())},
                       {"description", ValidUtf8(c.GetDescription())},
                       {"status", c.GetStatusWord()},
                       {"error", ValidUtf8(c.GetErrorText())},
                       {"listening", listening},
                       {"watchPort", c.Settings().watchPort},
                       {"telnet", c.Settings().telnet},
                       {"clients", clients},
                       {"bytesSent", c.GetBytesSent()},
                       {"bytesReceived", c.GetBytesReceived()},
                       {"lastAlert", alert},
                       {"alertLinesSkipped", c.AlertLinesSkipped()}});
    });
    // Every text above is valid UTF-8 already; were one not, the library would throw, and
    // the answer (the service's status pipe, the API) would be lost with its thread.
    return all.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace tolvi
