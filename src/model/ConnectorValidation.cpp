// The dialogs' checks.
#include "model/ConnectorValidation.h"

#include "engine/Format.h"
#include "engine/PortText.h"
#include "model/ConnectorOptions.h"

namespace tolvi {

const char kInvalidPipeNameMessage[] =
    "Invalid pipe name\n\nA valid pipe name has the form\n\"\\\\<ServerName>\\pipe\\<PipeName>\"";

const char kPipeNotLocalMessage[] =
    "A pipe can be created only on this machine: with \"Create the pipe\" its name begins "
    "\\\\.\\pipe\\";

namespace {

Verdict Refuse(Problem problem, std::string message, MessageIcon icon, int row = -1) {
    return Verdict{false, std::move(message), icon, problem, row};
}

}  // namespace

Verdict ValidateFieldLengths(const std::vector<FieldText>& fields) {
    for (const FieldText& field : fields) {
        if (StoredLength(field.text) > static_cast<size_t>(kLongestFieldText)) {
            return Refuse(Problem::TextTooLong,
                          Format("%s is too long: at most %d characters can be stored", field.label,
                                 kLongestFieldText),
                          MessageIcon::Exclamation);
        }
    }
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
    if (s.pipeServer && s.pipeName.compare(0, 9, "\\\\.\\pipe\\") != 0)
        return Refuse(Problem::PipeNotLocal, kPipeNotLocalMessage, MessageIcon::Stop);
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
            Verdict v = Refuse(Problem::PortInUse,
                               Format("Port %s is in use for pipe %s!", row.portText.c_str(),
                                      row.pipeName.c_str()),
                               MessageIcon::Exclamation, i);
            v.port = port;
            return v;
        }
    }
    // Watch ports: neither the connector's own port, nor any port of another connector.
    auto inUse = [](Problem problem, int taken, const std::string& pipe, int row) {
        Verdict v = Refuse(problem, Format("Port %d is in use for pipe %s!", taken, pipe.c_str()),
                           MessageIcon::Exclamation, row);
        v.port = taken;
        return v;
    };
    if (s.watchPort != 0 && s.watchPort == port)
        return inUse(Problem::WatchPortInUse, port, s.pipeName, -1);
    for (int i = 0; i < static_cast<int>(rows.size()); ++i) {
        const RowKey& row = rows[i];
        if (i == skipRow)
            continue;
        if (s.watchPort != 0 &&
            (s.watchPort == TextToInt(row.portText) || s.watchPort == row.watchPort))
            return inUse(Problem::WatchPortInUse, s.watchPort, row.pipeName, i);
        if (row.watchPort != 0 && port == row.watchPort)
            return inUse(Problem::PortInUse, port, row.pipeName, i);
    }
    return Verdict{};
}

}  // namespace tolvi
