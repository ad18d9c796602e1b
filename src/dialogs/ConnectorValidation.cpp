// The dialogs' checks.
#include "dialogs/ConnectorValidation.h"

#include "engine/Format.h"
#include "engine/PortText.h"

namespace tolvi {

const char kInvalidPipeNameMessage[] =
    "Invalid pipe name\n\nA valid pipe name has the form\n\"\\\\<ServerName>\\pipe\\<PipeName>\"";

namespace {

Verdict Refuse(Problem problem, std::string message, MessageIcon icon, int row = -1) {
    return Verdict{false, std::move(message), icon, problem, row};
}

// A whole number between blanks, nothing else; false for anything else or out of range.
bool WholeNumber(const std::string& text, int low, int high, int* value) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t");
    if (begin == std::string::npos || end - begin + 1 > 9)
        return false;
    std::string digits = text.substr(begin, end - begin + 1);
    if (digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    int n = TextToInt(digits);
    if (n < low || n > high)
        return false;
    *value = n;
    return true;
}

}  // namespace

Verdict ValidateFieldLengths(const std::vector<FieldText>& fields) {
    for (const FieldText& field : fields) {
        if (field.text.size() > static_cast<size_t>(kLongestFieldText)) {
            return Refuse(Problem::TextTooLong,
                          Format("%s is too long: at most %d characters can be stored", field.label,
                                 kLongestFieldText),
                          MessageIcon::Exclamation);
        }
    }
    return Verdict{};
}

Verdict ValidateConsoleOptions(const std::string& clientsText, const std::string& replayText,
                               ConnectorSettings* settings) {
    int clients = 0, replay = 0;
    if (!WholeNumber(clientsText, 1, kMaxClientsLimit, &clients)) {
        return Refuse(Problem::ClientsValue, "Clients at once must be a number from 1 to 16",
                      MessageIcon::Exclamation);
    }
    if (!WholeNumber(replayText, 0, kReplayKiBLimit, &replay)) {
        return Refuse(Problem::ReplayValue, "Replay must be a number from 0 to 1024",
                      MessageIcon::Exclamation);
    }
    settings->maxClients = clients;
    settings->replayKiB = replay;
    return Verdict{};
}

Verdict ValidateConnector(DialogKind kind, const ConnectorSettings& s,
                          const std::vector<RowKey>& rows, int skipRow) {
    const bool add = kind == DialogKind::Add;
    const MessageIcon lenient = add ? MessageIcon::Stop : MessageIcon::Exclamation;
    if (s.pipeName.empty())
        return Refuse(Problem::EmptyPipeName, "Please provide Named Pipe Name", lenient);
    if (s.pipeName.compare(0, 2, "\\\\") != 0 || s.pipeName.find("\\pipe\\") == std::string::npos) {
        return Refuse(Problem::PipeNameForm, kInvalidPipeNameMessage, MessageIcon::Stop);
    }
    const int port = TextToInt(s.portText);
    // Above 65535 the listener would bind another port without a word.
    if (port <= 0 || port > 65535)
        return Refuse(Problem::PortValue, "Incorrect port value provided", lenient);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        if (i == skipRow)
            continue;
        const RowKey& row = rows[i];
        if (s.pipeName == row.pipeName) {
            return Refuse(Problem::PipeNameInUse,
                          Format("The pipe %s is already serverd on port %s!", row.pipeName.c_str(),
                                 row.portText.c_str()),
                          MessageIcon::Exclamation, i);
        }
        if (port == TextToInt(row.portText)) {
            return Refuse(Problem::PortInUse,
                          Format("Port %s is in use for pipe %s!", row.portText.c_str(),
                                 row.pipeName.c_str()),
                          MessageIcon::Exclamation, i);
        }
    }
    return Verdict{};
}

}  // namespace tolvi
