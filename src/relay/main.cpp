// tolvi-relay: runs connectors from the command line, without the GUI, printing each one's
// status as it changes; Ctrl-C stops them all.
#include <atomic>
#include <cstdio>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "engine/Alert.h"
#include "engine/ConnectorStatus.h"
#include "engine/PipeConnector.h"
#include "platform/Interrupt.h"
#include "platform/Sleep.h"
#include "platform/Socket.h"
#include "relay/RelayArgs.h"

using tolvi::PipeConnector;

namespace {

std::atomic<bool> interrupted{false};

void PrintLine(const std::string& text) {
    char stamp[16] = "";
    std::time_t now = std::time(nullptr);
    if (std::tm* local = std::localtime(&now))
        std::strftime(stamp, sizeof stamp, "%H:%M:%S", local);
    std::printf("%s %s\n", stamp, text.c_str());
    std::fflush(stdout);
}

void PrintAlert(const std::string& text) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    PrintLine("alert: " + line);
}

// What was last printed of a connector, so that only changes are printed.
struct Shown {
    int32_t status = -1;
    std::string client;
    std::string error;
};

std::string Label(const PipeConnector& c) {
    std::string label = "[" + c.GetPortText() + " " + c.GetPipeName();
    if (!c.GetDescription().empty())
        label += " \"" + c.GetDescription() + "\"";
    return label + "]";
}

void ReportChanges(const PipeConnector& c, Shown* shown) {
    int32_t status = c.GetStatus();
    std::string client = c.GetClientAddress();
    std::string error = c.GetErrorText();
    if (error != shown->error && !error.empty())
        PrintLine(Label(c) + " error: " + error);
    if (status != shown->status || client != shown->client) {
        std::string line = Label(c) + " " + tolvi::StatusWord(status);
        if (!client.empty())
            line += " " + client;
        PrintLine(line);
    }
    *shown = Shown{status, client, error};
}

}  // namespace

int main(int argc, char** argv) {
    tolvi::relay::RelayArgs args;
    std::string problem =
        tolvi::relay::ParseRelayArgs(std::vector<std::string>(argv + 1, argv + argc), &args);
    if (!problem.empty()) {
        std::fprintf(stderr, "tolvi-relay: %s\n(tolvi-relay --help shows the usage)\n",
                     problem.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(tolvi::relay::kRelayUsage, stdout);
        return 0;
    }
    if (int code = tolvi::platform::StartSocketLibrary()) {
        std::fprintf(stderr, "tolvi-relay: could not start the socket library (error %d)\n", code);
        return 1;
    }
    tolvi::SetAlertHandler(PrintAlert);
    tolvi::platform::CatchInterrupts(&interrupted);

    std::vector<std::unique_ptr<PipeConnector>> connectors;
    int listening = 0;
    for (const tolvi::relay::ConnectorArgs& a : args.connectors) {
        auto c = std::make_unique<PipeConnector>(a.pipeName, a.portText, a.description);
        c->SetAdmission(a.allowNonLocal, a.listOnly, a.clientList);
        if (c->CreateListener()) {
            c->StartWorker();
            ++listening;
            PrintLine(Label(*c) + " listening: telnet 127.0.0.1 " + a.portText);
        }
        connectors.push_back(std::move(c));
    }
    std::vector<Shown> shown(connectors.size());
    for (size_t i = 0; i < connectors.size(); ++i)
        ReportChanges(*connectors[i], &shown[i]);
    if (listening == 0) {
        std::fprintf(stderr, "tolvi-relay: no connector could listen\n");
        return 1;
    }

    while (!interrupted) {
        tolvi::platform::SleepMs(100);
        for (size_t i = 0; i < connectors.size(); ++i)
            ReportChanges(*connectors[i], &shown[i]);
    }
    PrintLine("stopping");
    for (auto& c : connectors)
        c->StopAndWait();
    PrintLine("stopped");
    return 0;
}
