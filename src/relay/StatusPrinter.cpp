// The console host's printout.
#include "relay/StatusPrinter.h"

#include <chrono>
#include <cstdio>
#include <ctime>

#include "engine/ConnectorStatus.h"
#include "engine/PipeConnector.h"

namespace tolvi::relay {

void StatusPrinter::Line(const std::string& text) {
    std::lock_guard<std::mutex> hold(lock);
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

std::string StatusPrinter::Label(const PipeConnector& c) {
    std::string label = "[" + c.GetPortText() + " " + c.GetPipeName();
    if (!c.GetDescription().empty())
        label += " \"" + c.GetDescription() + "\"";
    return label + "]";
}

void StatusPrinter::OnStatusChanged(const PipeConnector& c, int32_t status) {
    if (status == Error)
        Line(Label(c) + " " + StatusWord(status));
}

void StatusPrinter::OnPipeAttached(const PipeConnector& c) {
    Line(Label(c) + " pipe attached");
}

void StatusPrinter::OnPipeLost(const PipeConnector& c) {
    Line(Label(c) + " pipe lost");
}

void StatusPrinter::OnPipeClosed(const PipeConnector& c) {
    Line(Label(c) + " pipe closed");
}

void StatusPrinter::OnClientArrived(const PipeConnector& c, const std::string& address) {
    Line(Label(c) + " client " + address + " arrived");
}

void StatusPrinter::OnClientRefused(const PipeConnector& c, const std::string& address) {
    Line(Label(c) + " client " + address + " refused");
}

void StatusPrinter::OnClientBusy(const PipeConnector& c, const std::string& address) {
    Line(Label(c) + " client " + address + " turned away: the console is busy");
}

void StatusPrinter::OnClientLeft(const PipeConnector& c, const std::string& address) {
    Line(Label(c) + " client " + address + " left");
}

void StatusPrinter::OnErrorText(const PipeConnector& c, const std::string& text) {
    Line(Label(c) + " error: " + text);
}

void StatusPrinter::OnAlert(const PipeConnector& c, const std::string& text) {
    std::string line = text;
    while (!line.empty() && line.back() == '\n')
        line.pop_back();
    Line(Label(c) + " alert: " + line);
}

void StatusPrinter::OnConsoleAlert(const PipeConnector& c, const ConsoleAlert& alert) {
    std::string text = Label(c) + " alert: " + alert.pattern + ": " + alert.line;
    if (alert.more > 0)
        text += " (and " + std::to_string(alert.more) + " more)";
    Line(text);
}

}  // namespace tolvi::relay
