// tolvi-relay: runs connectors from the command line, without the GUI, printing every change
// of each one as it happens; Ctrl-C stops them all.
#include <chrono>
#include <cstdio>
#include <ctime>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/ConnectorObserver.h"
#include "engine/ConnectorStatus.h"
#include "engine/PipeConnector.h"
#include "model/ConnectorFactory.h"
#include "platform/CommandLine.h"
#include "platform/Interrupt.h"
#include "platform/Socket.h"
#include "platform/WaitSet.h"
#include "relay/RelayArgs.h"
#include "web/WebConsoleServer.h"

using tolvi::PipeConnector;

namespace {

// One line per event, stamped to the millisecond; the workers of several connectors print
// through it at once.
class StatusPrinter : public tolvi::ConnectorObserver {
  public:
    void Line(const std::string& text) {
        std::lock_guard<std::mutex> hold(lock_);
        using namespace std::chrono;
        auto now = system_clock::now();
        std::time_t seconds = system_clock::to_time_t(now);
        int millis =
            static_cast<int>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
        char stamp[32] = "";
        if (std::tm* local = std::localtime(&seconds))
            std::strftime(stamp, sizeof stamp, "%H:%M:%S", local);
        std::printf("%s.%03d %s\n", stamp, millis, text.c_str());
        std::fflush(stdout);
    }

    static std::string Label(const PipeConnector& c) {
        std::string label = "[" + c.GetPortText() + " " + c.GetPipeName();
        if (!c.GetDescription().empty())
            label += " \"" + c.GetDescription() + "\"";
        return label + "]";
    }

    // Only the real transitions: a client arriving or leaving, the pipe opening or going
    // away; the status words that follow from them would say each one twice.
    void OnStatusChanged(const PipeConnector& c, int32_t status) override {
        if (status == tolvi::Error)
            Line(Label(c) + " " + tolvi::StatusWord(status));
    }
    void OnPipeAttached(const PipeConnector& c) override { Line(Label(c) + " pipe attached"); }
    void OnPipeLost(const PipeConnector& c) override { Line(Label(c) + " pipe lost"); }
    void OnClientArrived(const PipeConnector& c, const std::string& address) override {
        Line(Label(c) + " client " + address + " arrived");
    }
    void OnClientRefused(const PipeConnector& c, const std::string& address) override {
        Line(Label(c) + " client " + address + " refused");
    }
    void OnClientBusy(const PipeConnector& c, const std::string& address) override {
        Line(Label(c) + " client " + address + " turned away: the console is busy");
    }
    void OnClientLeft(const PipeConnector& c, const std::string& address) override {
        Line(Label(c) + " client " + address + " left");
    }
    void OnErrorText(const PipeConnector& c, const std::string& text) override {
        Line(Label(c) + " error: " + text);
    }
    void OnAlert(const PipeConnector& c, const std::string& text) override {
        std::string line = text;
        while (!line.empty() && line.back() == '\n')
            line.pop_back();
        Line(Label(c) + " alert: " + line);
    }

  private:
    std::mutex lock_;
};

}  // namespace

int main(int argc, char** argv) {
    tolvi::platform::UseUtf8Output();
    tolvi::relay::RelayArgs args;
    std::string problem =
        tolvi::relay::ParseRelayArgs(tolvi::platform::ProgramArguments(argc, argv), &args);
    if (!problem.empty()) {
        std::fprintf(stderr, "tolvi-relay: %s\n(tolvi-relay --help shows the usage)\n",
                     problem.c_str());
        return 2;
    }
    if (args.help) {
        std::fputs(tolvi::relay::kRelayUsage, stdout);
        return 0;
    }
    if (tolvi::platform::SysError e = tolvi::platform::StartSocketLibrary(); e.Failed()) {
        std::fprintf(stderr, "tolvi-relay: could not start the socket library (error %d)\n",
                     e.code);
        return 1;
    }
    tolvi::platform::WakeSignal interrupted;
    tolvi::platform::CatchInterrupts(&interrupted);

    StatusPrinter printer;
    std::vector<std::unique_ptr<PipeConnector>> connectors;
    int listening = 0;
    for (const tolvi::relay::ConnectorArgs& a : args.connectors) {
        auto c = tolvi::BuildConnector(a, &printer);
        if (tolvi::StartConnector(*c)) {
            ++listening;
            std::string at =
                a.listenAddress.empty() || a.listenAddress == "::" || a.listenAddress == "0.0.0.0"
                    ? "127.0.0.1"
                    : a.listenAddress;
            std::string line = " listening: telnet " + at + " " + a.portText;
            if (a.watchPort != 0)
                line += ", watch on port " + std::to_string(a.watchPort);
            printer.Line(StatusPrinter::Label(*c) + line);
        }
        connectors.push_back(std::move(c));
    }
    if (listening == 0) {
        std::fprintf(stderr, "tolvi-relay: no connector could listen\n");
        return 1;
    }
    // Each listening connector's console in the browser, served until the end.
    tolvi::web::WebConsoleServer web;
    if (args.webPort >= 0) {
        std::vector<tolvi::web::WebConsole> consoles(connectors.size());
        for (size_t i = 0; i < connectors.size(); ++i)
            tolvi::web::ConsoleOf(*connectors[i], &consoles[i]);
        web.SetConsoles(consoles);
        std::string error;
        if (!web.Start(static_cast<uint16_t>(args.webPort), &error)) {
            std::fprintf(stderr, "tolvi-relay: %s\n", error.c_str());
            return 1;
        }
        for (size_t i = 0; i < connectors.size(); ++i) {
            if (!consoles[i].key.empty())
                printer.Line(StatusPrinter::Label(*connectors[i]) +
                             " console: " + web.ConsoleUrl(consoles[i].key));
        }
    }

    tolvi::platform::WaitSet wait;
    wait.Add(interrupted);
    while (!interrupted.IsSet())
        wait.Wait(-1);
    printer.Line("stopping");
    web.Stop();
    // Every stop request first, so that all the workers end together.
    for (auto& c : connectors)
        c->RequestStop();
    for (auto& c : connectors)
        c->StopAndWait();
    printer.Line("stopped");
    tolvi::platform::InterruptsHandled();
    return 0;
}
