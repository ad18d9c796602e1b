// The audit trail's records, with nlohmann's JSON library.
#include "model/AuditTrail.h"

#include <nlohmann/json.hpp>

#include "engine/Format.h"
#include "engine/PortText.h"
#include "engine/SafeText.h"
#include "model/ConsolesJson.h"
#include "platform/ErrorText.h"

namespace tolvi {

namespace {

using Json = nlohmann::ordered_json;

// Every text below is valid UTF-8 already; were one not, the library would throw.
std::string Members(const Json& record) {
    std::string text = record.dump(-1, ' ', false, Json::error_handler_t::replace);
    return text.substr(1, text.size() - 2);  // without its braces: the time goes first
}

Json Console(const ConnectorSettings& c) {
    return {{"port", TextToInt(c.portText)}, {"pipe", ValidUtf8(c.pipeName)}};
}

// For the event log and the status lines, where a control character would act on a terminal.
std::string Label(const ConnectorSettings& c) {
    return "Connector " + c.portText + " (" + EscapedText(c.pipeName, 300) + ")";
}

Json Client(const ClientInfo& client) {
    return {{"name", SafeName(client.name)},
            {"kind", ClientKindWord(client.kind)},
            {"address", SafeName(client.address)},
            {"keyFingerprint", SafeName(client.keyFingerprint)},
            {"watching", client.watching}};
}

// "alice@laptop 10.0.0.5 (SSH, typing)"
std::string Who(const ClientInfo& client) {
    return SafeName(client.name) + " (" + ClientKindWord(client.kind) + ", " +
           (client.watching ? "watching" : "typing") + ")";
}

}  // namespace

bool AuditTrail::Open(const std::string& path) {
    std::lock_guard<std::mutex> hold(lock);
    filePath = path;
    uint64_t size = 0;
    platform::SysError error = file.Open(path, &size);
    problem = error.Failed() ? Format("Could not write the audit trail %s (%s)", path.c_str(),
                                      platform::GetSystemErrorText(error.code).c_str())
                             : "";
    return !error.Failed();
}

void AuditTrail::SetEcho(Echo e) {
    std::lock_guard<std::mutex> hold(lock);
    echo = std::move(e);
}

std::string AuditTrail::Problem() const {
    std::lock_guard<std::mutex> hold(lock);
    return problem;
}

void AuditTrail::Write(const std::string& record, const std::string& text) {
    std::string line = "{\"time\":\"" + JsonTime(std::chrono::system_clock::now()) + "\"," +
                       record + "}\n";
    Echo tell;
    {
        std::lock_guard<std::mutex> hold(lock);
        tell = echo;
        if (!filePath.empty()) {
            uint64_t size = 0;
            platform::SysError error;
            if (!file.IsOpen())
                error = file.Open(filePath, &size);  // made again, or free again
            if (!error.Failed())
                error = file.Write(line.data(), line.size());
            if (error.Failed()) {
                file.Close();
                problem = Format("Could not write the audit trail %s (%s)", filePath.c_str(),
                                 platform::GetSystemErrorText(error.code).c_str());
            }
        }
    }
    if (tell)
        tell(text);
}

void AuditTrail::SessionStarted(const ConnectorSettings& console, const ClientInfo& client) {
    Json record = {{"event", "session start"}};
    record.update(Console(console));
    record.update(Client(client));
    Write(Members(record), Label(console) + ": " + Who(client) + " began a session");
}

void AuditTrail::SessionEnded(const ConnectorSettings& console, const ClientInfo& client,
                              const std::string& how) {
    Json record = {{"event", "session end"}};
    record.update(Console(console));
    record.update(Client(client));
    record.update(Json{{"since", JsonTime(client.since)},
                       {"bytesToClient", client.bytesToClient},
                       {"bytesFromClient", client.bytesFromClient},
                       {"ended", ValidUtf8(how)}});
    Write(Members(record),
          Label(console) + ": " + Who(client) + " ended its session: " + ValidUtf8(how) + "; " +
              std::to_string(client.bytesToClient) + " bytes to it, " +
              std::to_string(client.bytesFromClient) + " from it");
}

void AuditTrail::ClientRefused(const ConnectorSettings& console, const std::string& client,
                               const std::string& address, const std::string& why) {
    Json record = {{"event", "refused"}};
    record.update(Console(console));
    record.update(Json{{"name", SafeName(client)}, {"address", SafeName(address)}, {"why", why}});
    Write(Members(record), Label(console) + " refused " + SafeName(client) + ": " + why);
}

void AuditTrail::ConsoleTaken(const ConnectorSettings& console, const ClientInfo& client,
                              const std::vector<std::string>& from) {
    Json names = Json::array();
    std::string list;
    for (const std::string& name : from) {
        names.push_back(SafeName(name));
        list += (list.empty() ? "" : ", ") + SafeName(name);
    }
    Json record = {{"event", "take"}};
    record.update(Console(console));
    record.update(Client(client));
    record["from"] = names;
    Write(Members(record), Label(console) + ": " + Who(client) + " took the console" +
                               (list.empty() ? "" : " from " + list));
}

void AuditTrail::ConnectorChanged(const ConnectorSettings& connector, const std::string& change,
                                  const std::string& by) {
    Json record = {{"event", "connector"}, {"change", change}, {"by", by}};
    record.update(Console(connector));
    record["description"] = ValidUtf8(connector.description);
    Write(Members(record),
          Label(connector) + " " + change + " by " + (by == "reload" ? "a " : "the ") + by);
}

void AuditTrail::LoginRefused(const std::string& address, const std::string& userAsSent,
                              const std::string& keyFingerprint) {
    Json record = {{"event", "login refused"},
                   {"address", SafeName(address)},
                   {"user", SafeName(userAsSent)},
                   {"keyFingerprint", SafeName(keyFingerprint)}};
    Write(Members(record), "SSH login refused from " + SafeName(address) + ": user \"" +
                               SafeName(userAsSent) + "\"" +
                               (keyFingerprint.empty() ? "" : ", key " + SafeName(keyFingerprint)));
}

}  // namespace tolvi
