// The table of connector options.
#include "model/ConnectorOptions.h"

#include "engine/AlertPatterns.h"
#include "engine/Format.h"
#include "engine/PortText.h"
#include "platform/Endpoint.h"
#include "platform/Process.h"
#include "resource.h"

namespace tolvi {
namespace {

using S = ConnectorSettings;

// The rows, by kind.
ConnectorOption Text(const char* name, const char* flag, const char* argument, const char* help,
                     std::string S::*field, int control,
                     bool (*accepts)(const std::string&) = nullptr, const char* refusal = nullptr) {
    ConnectorOption o{};
    o.valueName = name;
    o.flag = flag;
    o.argument = argument;
    o.help = help;
    o.kind = OptionKind::Text;
    o.text = field;
    o.accepts = accepts;
    o.refusal = refusal;
    o.control = control;
    return o;
}

ConnectorOption Flag(const char* name, const char* flag, const char* help, bool S::*field,
                     int control, bool flagClears = false) {
    ConnectorOption o{};
    o.valueName = name;
    o.flag = flag;
    o.help = help;
    o.kind = OptionKind::Flag;
    o.yes = field;
    o.flagClears = flagClears;
    o.control = control;
    return o;
}

ConnectorOption Number(const char* name, const char* flag, const char* argument, const char* help,
                       const char* label, int S::*field, int low, int high, int control) {
    ConnectorOption o{};
    o.valueName = name;
    o.flag = flag;
    o.argument = argument;
    o.help = help;
    o.label = label;
    o.kind = OptionKind::Number;
    o.number = field;
    o.low = low;
    o.high = high;
    o.control = control;
    return o;
}

std::string CheckAlerts(const std::string& text) {
    return CompileAlertPatterns(text, nullptr);
}

// A command that cannot be split into words would fail at every alert, unseen until then.
std::string CheckCommand(const std::string& text) {
    std::vector<std::string> words;
    if (platform::SplitCommandLine(text, &words))
        return "";
    return Format("Alert command '%s' cannot be used: a quote is not closed", text.c_str());
}

ConnectorOption Checked(ConnectorOption o, std::string (*check)(const std::string&)) {
    o.check = check;
    return o;
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
        Text("PipeName", nullptr, nullptr, nullptr, &S::pipeName, 0),
        Text("Port", nullptr, nullptr, nullptr, &S::portText, 0),
        Text("Description", "--description", "TEXT", "a description, shown in the status lines",
             &S::description, 0),
        Flag("NonLocal", "--allow-non-local",
             "admit clients other than local ones (127.0.0.1 and ::1)", &S::allowNonLocal, 0),
        Flag("EnAcl", "--list-only", "with --allow-non-local: admit only the listed clients",
             &S::listOnly, 0),
        Text("Acl", "--clients", "LIST", "the allowed client addresses, separated by spaces or ';'",
             &S::clientList, 0),
        Number("MaxClients", "--max-clients", "N", "serve up to N clients at once, {range} (1 by default)",
               "Clients at once", &S::maxClients, 1, kMaxClientsLimit, IDC_MAX_CLIENTS),
        Text("LogFile", "--log", "FILE",
             "append everything the pipe sends to FILE, with or without clients", &S::logFile,
             IDC_LOG_FILE),
        Flag("LogTimes", "--log-times",
             "begin each line of the log with the local time it began, to the\nmillisecond",
             &S::logTimes, IDC_LOG_TIMES),
        Number("Replay", "--replay", "KIB", "send each new client the latest KIB KiB of output, {range}",
               "Replay", &S::replayKiB, 0, kReplayKiBLimit, IDC_REPLAY),
        Text("Listen", "--listen", "ADDR",
             "listen on this IPv4 or IPv6 address only; by default on loopback\n"
             "(127.0.0.1 and ::1), or with --allow-non-local on every interface",
             &S::listenAddress, IDC_LISTEN_ADDRESS, IsListenAddress,
             "Incorrect listen address provided"),
        Number("WatchPort", "--watch-port", "PORT",
               "a second port whose clients see the console but cannot type", "Watch port",
               &S::watchPort, 0, 65535, IDC_WATCH_PORT),
        Flag("Telnet", "--raw", "plain TCP: no Telnet, exactly the pipe's bytes each way",
             &S::telnet, IDC_TELNET, true),
        Checked(Text("Alerts", "--alert", "PATTERN",
                     "tell when a line of the console matches PATTERN, a regular\n"
                     "expression in RE2's syntax ((?i) first: any case); may be given again",
                     &S::alerts, IDC_ALERTS),
                CheckAlerts),
        Checked(Text("AlertCommand", "--alert-command", "CMD",
                     "run CMD at each alert, with TOLVI_PORT, TOLVI_PIPE, TOLVI_DESCRIPTION,\n"
                     "TOLVI_PATTERN and TOLVI_LINE in its environment (no shell reads it); at\n"
                     "most 4 at once, each ended after 60 s",
                     &S::alertCommand, IDC_ALERT_COMMAND),
                CheckCommand),
        Flag("Notices", "--no-notices",
             "on a shared console, tell nobody when a client joins, leaves or\ntakes it",
             &S::notices, IDC_NOTICES, true),
        Flag("TrustAnyPipeServer", "--any-pipe-server",
             "use the pipe whoever serves it (by default only the system, an\n"
             "administrator, a virtual machine or this user may)",
             &S::trustAnyPipeServer, IDC_ANY_PIPE_SERVER),
        Flag("PipeServer", "--pipe-server",
             "create the pipe and wait for the virtual machine to connect to it", &S::pipeServer,
             IDC_PIPE_SERVER),
        Flag("Record", "--record", "record the console's screen, with its timing, for replay",
             &S::record, IDC_RECORD),
        Flag("RecordInput", "--record-input",
             "with --record: also what each client types (passwords typed at\nthe console "
             "are then kept)",
             &S::recordInput, IDC_RECORD_INPUT),
        Number("RecordDays", "--record-days", "DAYS",
               "remove recordings older than DAYS days, {range} (30 by default)",
               "Keep recordings (days)", &S::recordDays, 1, kRecordDaysLimit, IDC_RECORD_DAYS),
    };
    return table;
}

std::string RefusalOf(const ConnectorOption& option) {
    if (option.kind == OptionKind::Number)
        return Format("%s must be a number from %d to %d", option.label, option.low, option.high);
    return option.refusal ? option.refusal : "";
}

std::string UsageLine(const std::string& flag, const char* argument, const std::string& help) {
    std::string left = flag + (argument ? std::string(" ") + argument : "");
    std::string line = Format("  %-20s ", left.c_str());
    for (char c : help)
        line += c == '\n' ? "\n" + std::string(23, ' ') : std::string(1, c);
    return line + "\n";
}

std::string OptionsUsage() {
    std::string usage;
    for (const ConnectorOption& o : ConnectorOptions()) {
        if (!o.flag)
            continue;
        std::string help = o.help;
        size_t at = help.find("{range}");
        if (at != std::string::npos)
            help.replace(at, 7, Format("%d to %d", o.low, o.high));
        usage += UsageLine(o.flag, o.argument, help);
    }
    return usage;
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
                *message = RefusalOf(option);
                return false;
            }
            if (option.check) {
                std::string refused = option.check(text);
                if (!refused.empty()) {
                    *message = refused;
                    return false;
                }
            }
            settings->*option.text = text;
            return true;
        case OptionKind::Flag:
            settings->*option.yes = TextToInt(text) != 0;
            return true;
        case OptionKind::Number: {
            int value = 0;
            if (!ReadWholeNumber(text, &value) || value < option.low || value > option.high) {
                *message = RefusalOf(option);
                return false;
            }
            settings->*option.number = value;
            return true;
        }
    }
    return false;
}

}  // namespace tolvi
