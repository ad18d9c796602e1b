// The table of connector options.
#include "model/ConnectorOptions.h"

#include "engine/PortText.h"
#include "platform/Endpoint.h"
#include "resource.h"

namespace tolvi {
namespace {

using S = ConnectorSettings;

ConnectorOption Text(const char* name, const char* flag, std::string S::*field, int control,
                     bool (*accepts)(const std::string&) = nullptr, const char* refusal = nullptr) {
    return ConnectorOption{name, flag,  OptionKind::Text, field,   nullptr, nullptr, 0,
                           0,    false, accepts,          refusal, control};
}

ConnectorOption Flag(const char* name, const char* flag, bool S::*field, int control,
                     bool flagClears = false) {
    return ConnectorOption{name, flag, OptionKind::Flag, nullptr, field,   nullptr,
                           0,    0,    flagClears,       nullptr, nullptr, control};
}

ConnectorOption Number(const char* name, const char* flag, int S::*field, int low, int high,
                       const char* refusal, int control) {
    return ConnectorOption{
        name,    flag,   OptionKind::Number, nullptr, nullptr, field, low, high, false, nullptr,
        refusal, control};
}

bool IsListenAddress(const std::string& text) {
    platform::Endpoint at;
    return text.empty() || platform::ParseAddress(text, &at);
}

}  // namespace

size_t StoredLength(const std::string& utf8) {
    size_t units = 0;
    for (unsigned char c : utf8) {
        if ((c & 0xC0) != 0x80)
            ++units;  // a character starts here
        if (c >= 0xF0)
            ++units;  // and needs two UTF-16 units
    }
    return units;
}

const std::vector<ConnectorOption>& ConnectorOptions() {
    static const std::vector<ConnectorOption> table = {
        Text("PipeName", nullptr, &S::pipeName, 0),
        Text("Port", nullptr, &S::portText, 0),
        Text("Description", "--description", &S::description, 0),
        Flag("NonLocal", "--allow-non-local", &S::allowNonLocal, 0),
        Flag("EnAcl", "--list-only", &S::listOnly, 0),
        Text("Acl", "--clients", &S::clientList, 0),
        Number("MaxClients", "--max-clients", &S::maxClients, 1, kMaxClientsLimit,
               "Clients at once must be a number from 1 to 16", IDC_MAX_CLIENTS),
        Text("LogFile", "--log", &S::logFile, IDC_LOG_FILE),
        Number("Replay", "--replay", &S::replayKiB, 0, kReplayKiBLimit,
               "Replay must be a number from 0 to 1024", IDC_REPLAY),
        Text("Listen", "--listen", &S::listenAddress, IDC_LISTEN_ADDRESS, IsListenAddress,
             "Incorrect listen address provided"),
        Number("WatchPort", "--watch-port", &S::watchPort, 0, 65535,
               "Watch port must be a number from 0 to 65535", IDC_WATCH_PORT),
        Flag("Telnet", "--raw", &S::telnet, IDC_TELNET, true),
    };
    return table;
}

const ConnectorOption* FindOptionByFlag(const std::string& flag) {
    for (const ConnectorOption& o : ConnectorOptions()) {
        if (o.flag && flag == o.flag)
            return &o;
    }
    return nullptr;
}

std::string OptionText(const ConnectorOption& option, const ConnectorSettings& settings) {
    switch (option.kind) {
        case OptionKind::Text:
            return settings.*option.text;
        case OptionKind::Flag:
            return settings.*option.yes ? "1" : "0";
        case OptionKind::Number:
            return std::to_string(settings.*option.number);
    }
    return "";
}

std::string ChangedOptionsAsFlags(const ConnectorSettings& settings) {
    const ConnectorSettings defaults;
    std::string flags;
    for (const ConnectorOption& o : ConnectorOptions()) {
        if (!o.flag || o.text == &ConnectorSettings::description)
            continue;
        std::string value = OptionText(o, settings);
        if (value == OptionText(o, defaults))
            continue;
        if (!flags.empty())
            flags += ' ';
        flags += o.flag;
        if (o.kind == OptionKind::Flag)
            continue;  // its presence says it all
        bool quote = value.empty() || value.find_first_of(" \t\"") != std::string::npos;
        flags += quote ? " \"" + value + "\"" : " " + value;
    }
    return flags;
}

bool SetOptionFromText(const ConnectorOption& option, const std::string& text,
                       ConnectorSettings* settings, std::string* message) {
    switch (option.kind) {
        case OptionKind::Text:
            if (option.accepts && !option.accepts(text)) {
                *message = option.refusal;
                return false;
            }
            settings->*option.text = text;
            return true;
        case OptionKind::Flag:
            settings->*option.yes = TextToInt(text) != 0;
            return true;
        case OptionKind::Number: {
            int value = 0;
            if (!ReadWholeNumber(text, &value) || value < option.low || value > option.high) {
                *message = option.refusal;
                return false;
            }
            settings->*option.number = value;
            return true;
        }
    }
    return false;
}

}  // namespace tolvi
