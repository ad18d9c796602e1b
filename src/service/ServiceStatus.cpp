// The status channel's text.
#include "service/ServiceStatus.h"

#include <cstdlib>

#include "engine/ConnectorStatus.h"
#include "engine/PipeConnector.h"

namespace tolvi::service {

const char kStatusPipeName[] = "\\\\.\\pipe\\tolvi-service";

namespace {

// A field never holds the separators.
std::string Field(std::string text) {
    for (char& c : text) {
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    }
    return text;
}

bool Count(const std::string& text, int64_t* value) {
    if (text.empty() || text.size() > 18 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = std::strtoll(text.c_str(), nullptr, 10);
    return true;
}

}  // namespace

std::vector<ConnectorState> Snapshot(const ConnectorList& connectors) {
    std::vector<ConnectorState> states;
    for (int row = 0; row < connectors.Count(); ++row) {
        const PipeConnector& c = connectors.At(row);
        states.push_back(ConnectorState{c.GetPortText(), c.GetPipeName(), c.GetStatusWord(),
                                        c.GetClientAddress(), c.GetBytesSent(),
                                        c.GetBytesReceived(), c.GetDescription(),
                                        c.GetErrorText()});
    }
    return states;
}

std::string FormatStatus(const std::vector<ConnectorState>& states) {
    std::string text;
    for (const ConnectorState& s : states) {
        text += Field(s.port) + "\t" + Field(s.pipe) + "\t" + Field(s.status) + "\t" +
                Field(s.clients) + "\t" + std::to_string(s.sent) + "\t" +
                std::to_string(s.received) + "\t" + Field(s.description) + "\t" +
                Field(s.error) + "\n";
    }
    return text;
}

namespace {
const char kSshLine[] = "#ssh\t";
const char kJsonLine[] = "#json\t";

// The rest of the line that begins with mark, or npos when no line does.
size_t LineAfter(const std::string& text, const char* mark, size_t markSize) {
    for (size_t at = text.find(mark); at != std::string::npos; at = text.find(mark, at + 1)) {
        if (at == 0 || text[at - 1] == '\n')
            return at + markSize;
    }
    return std::string::npos;
}
}  // namespace

std::string FormatJson(const std::string& json) {
    // One line: the JSON's own strings keep their line ends escaped.
    return kJsonLine + json + "\n";
}

std::string ParseJson(const std::string& text) {
    size_t at = LineAfter(text, kJsonLine, sizeof kJsonLine - 1);
    if (at == std::string::npos)
        return "";
    size_t end = text.find('\n', at);
    return text.substr(at, end == std::string::npos ? end : end - at);
}

std::string FormatSsh(int port, const std::string& fingerprint) {
    if (port <= 0)
        return "";
    return kSshLine + std::to_string(port) + "\t" + Field(fingerprint) + "\n";
}

bool ParseSsh(const std::string& text, int* port, std::string* fingerprint) {
    size_t at = LineAfter(text, kSshLine, sizeof kSshLine - 1);
    if (at == std::string::npos)
        return false;
    size_t tab = text.find('\t', at), end = text.find('\n', at);
    if (tab == std::string::npos || end == std::string::npos || tab > end)
        return false;
    int64_t number = 0;
    if (!Count(text.substr(at, tab - at), &number) || number > 65535)
        return false;
    *port = static_cast<int>(number);
    *fingerprint = text.substr(tab + 1, end - tab - 1);
    return true;
}

std::vector<ConnectorState> ParseStatus(const std::string& text) {
    std::vector<ConnectorState> states;
    size_t at = 0;
    while (at < text.size()) {
        size_t end = text.find('\n', at);
        std::string line = text.substr(at, end == std::string::npos ? end : end - at);
        at = end == std::string::npos ? text.size() : end + 1;
        std::vector<std::string> fields;
        size_t from = 0;
        for (;;) {
            size_t tab = line.find('\t', from);
            fields.push_back(line.substr(from, tab == std::string::npos ? tab : tab - from));
            if (tab == std::string::npos)
                break;
            from = tab + 1;
        }
        // Seven fields from a service of the version before, which told no error.
        if (fields.size() != 7 && fields.size() != 8)
            continue;
        ConnectorState s{fields[0], fields[1], fields[2], fields[3], 0, 0, fields[6],
                         fields.size() == 8 ? fields[7] : ""};
        if (!Count(fields[4], &s.sent) || !Count(fields[5], &s.received))
            continue;
        states.push_back(std::move(s));
    }
    return states;
}

}  // namespace tolvi::service
