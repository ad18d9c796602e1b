// The console host's printout.
#include "relay/StatusPrinter.h"

#include <chrono>
#include <cstdio>

#include "engine/ConnectorStatus.h"
#include "engine/LineStamps.h"
#include "engine/PipeConnector.h"
#include "engine/SafeText.h"

namespace tolvi::relay {

void StatusPrinter::Line(const std::string& text) {
    // Console lines and names reach the terminal this runs in: as text, never as its controls.
    std::string shown = EscapedText(text, kLongestLine);
    std::string stamp = TimeText(std::chrono::system_clock::now(), false, "%H:%M:%S");
    std::lock_guard<std::mutex> hold(lock);
    std::printf("%s %s\n", stamp.c_str(), shown.c_str());
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

void StatusPrinter::OnNotice(const PipeConnector& c, const std::string& text) {
    Line(Label(c) + " " + text);
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

void StatusPrinter::OnAlertLinesSkipped(const PipeConnector& c, uint64_t lines) {
    Line(Label(c) + " alerts: " + SkippedLinesText(lines));
}

}  // namespace tolvi::relay
