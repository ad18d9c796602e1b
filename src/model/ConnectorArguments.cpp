// Reading and checking connectors from a command line.
#include "model/ConnectorArguments.h"

#include "engine/Format.h"
#include "model/ConnectorOptions.h"
#include "model/ConnectorValidation.h"

namespace tolvi {
namespace {

std::string BadPort(const ConnectorSettings& c) {
    return Format("bad port '%s' for %s: give a number from 1 to 65535", c.portText.c_str(),
                  c.pipeName.c_str());
}

// The same checks as the dialogs', in their order, worded for a command line.
std::string CheckConnector(const ConnectorSettings& c,
                           const std::vector<ConnectorSettings>& connectors, size_t before) {
    std::vector<RowKey> rows;
    for (size_t i = 0; i < before; ++i)
        rows.push_back(RowKey{connectors[i].pipeName, connectors[i].portText, connectors[i].watchPort});
    Verdict verdict = ValidateConnector(DialogKind::Add, c, rows, -1);
    // A command line has no typing mistakes to forgive: the port is digits only, and that is
    // told before any clash with an earlier connector.
    bool clash = verdict.problem == Problem::PipeNameInUse || verdict.problem == Problem::PortInUse;
    if ((verdict.accepted || clash) && !IsPlainPort(c.portText))
        return BadPort(c);
    switch (verdict.problem) {
        case Problem::None:
            break;
        case Problem::EmptyPipeName:
            return "the pipe name is empty";
        case Problem::PipeNameForm:
            return Format(
                "malformed pipe name '%s': the form is \\\\<ServerName>\\pipe\\<PipeName>",
                c.pipeName.c_str());
        case Problem::PipeNotLocal:
            return Format("--pipe-server makes the pipe on this machine: %s is not of the form "
                          "\\\\.\\pipe\\<PipeName>",
                          c.pipeName.c_str());
        case Problem::PortValue:
            return BadPort(c);
        case Problem::PipeNameInUse:
            return Format("the pipe %s is given twice", c.pipeName.c_str());
        case Problem::PortInUse:
            return Format("port %s is given twice", c.portText.c_str());
        case Problem::WatchPortInUse:
            return Format("port %d is given twice", verdict.port);
        case Problem::TextTooLong:
            return verdict.message;  // not checked here
    }
    return "";
}

}  // namespace

bool IsPlainPort(const std::string& text) {
    return !text.empty() && text.size() <= 5 &&
           text.find_first_not_of("0123456789") == std::string::npos;
}

std::string ParseConnectorArguments(const std::vector<std::string>& args,
                                    std::vector<ConnectorSettings>* connectors,
                                    const ProgramOption& programOption) {
    connectors->clear();
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (programOption) {
            std::string problem;
            int taken = programOption(args, i, &problem);
            if (!problem.empty())
                return problem;
            if (taken < 0)
                return "";
            if (taken > 0) {
                i += static_cast<size_t>(taken) - 1;
                continue;
            }
        }
        if (arg.compare(0, 2, "--") == 0) {
            if (connectors->empty())
                return Format("option %s comes before any PIPE PORT", arg.c_str());
            ConnectorSettings& c = connectors->back();
            const ConnectorOption* option = FindOptionByFlag(arg);
            if (!option)
                return Format("unknown option %s", arg.c_str());
            if (option->kind == OptionKind::Flag) {
                c.*option->yes = !option->flagClears;
                continue;
            }
            if (i + 1 >= args.size())
                return Format("option %s needs a value", arg.c_str());
            const std::string& typed = args[++i];
            std::string value = typed;
            // --alert again adds a pattern: the option holds one a line.
            if (option->text == &ConnectorSettings::alerts && !c.alerts.empty())
                value = c.alerts + "\n" + typed;
            // A log without a file would be no log at all, silently.
            if (option->text == &ConnectorSettings::logFile && typed.empty())
                return "option --log needs a file name";
            std::string refused;
            if (!SetOptionFromText(*option, value, &c, &refused))  // the dialogs' rules and words
                return Format("%s '%s': %s", arg.c_str(), typed.c_str(), refused.c_str());
            continue;
        }
        if (i + 1 >= args.size())
            return Format("pipe %s has no PORT after it", arg.c_str());
        ConnectorSettings c;
        c.pipeName = arg;
        c.portText = args[++i];
        std::string problem = CheckConnector(c, *connectors, connectors->size());
        if (!problem.empty())
            return problem;
        connectors->push_back(c);
    }
    // With their options read, the watch ports too: each connector against those before it.
    for (size_t n = 0; n < connectors->size(); ++n) {
        std::string problem = CheckConnector((*connectors)[n], *connectors, n);
        if (!problem.empty())
            return problem;
    }
    return "";
}

}  // namespace tolvi
