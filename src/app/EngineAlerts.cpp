// The connectors' alerts, queued on any thread and shown on the GUI thread.
#include "app/EngineAlerts.h"

#include "engine/PipeConnector.h"
#include "ui/MessageBox.h"

namespace tolvi {

void EngineAlerts::SetOwner(HWND owner) {
    std::lock_guard<std::mutex> hold(lock);
    boxOwner = owner;
    if (!owner) {
        waiting.clear();
        outstanding.clear();
        posted = false;
        consoleNotes.clear();
        consolePosted = false;
    }
}

void EngineAlerts::OnAlert(const PipeConnector& connector, const std::string& text) {
    Queue(Key{reinterpret_cast<uintptr_t>(&connector), text});
}

void EngineAlerts::OnProgramAlert(const std::string& text) {
    Queue(Key{0, text});
}

void EngineAlerts::Queue(Key key) {
    std::lock_guard<std::mutex> hold(lock);
    if (!boxOwner || !outstanding.insert(key).second)
        return;
    waiting.push_back(std::move(key));
    // One message for any number of waiting alerts: the handler takes them all.
    if (!posted)
        posted = PostMessageW(boxOwner, kAlertMessage, 0, 0) != FALSE;
}

void EngineAlerts::ShowQueued() {
    if (showing)
        return;  // inside a box's own message loop: the loop below shows it next
    showing = true;
    for (;;) {
        Key next;
        HWND owner;
        {
            std::lock_guard<std::mutex> hold(lock);
            posted = false;
            if (!boxOwner || waiting.empty())
                break;
            next = std::move(waiting.front());
            waiting.pop_front();
            owner = boxOwner;
        }
        ui::AppMessageBox(owner, next.second);
        std::lock_guard<std::mutex> hold(lock);
        outstanding.erase(next);
    }
    showing = false;
}

void EngineAlerts::OnConsoleAlert(const PipeConnector& connector, const ConsoleAlert& alert) {
    // A balloon holds about four lines; the line is its text, the connector its title.
    std::string title = "Alert on " + connector.GetPortText() + " " + connector.GetPipeName();
    if (!connector.GetDescription().empty())
        title += " \"" + connector.GetDescription() + "\"";
    std::string text = alert.line;
    if (alert.more > 0)
        text += " (and " + std::to_string(alert.more) + " more)";
    std::lock_guard<std::mutex> hold(lock);
    if (!boxOwner)
        return;
    // Each pattern is told at most every few seconds, but a window that is not pumping must
    // not gather them without end: the latest are the ones worth a balloon.
    constexpr size_t kMostNotes = 64;
    if (consoleNotes.size() >= kMostNotes)
        consoleNotes.erase(consoleNotes.begin());
    consoleNotes.push_back({reinterpret_cast<uintptr_t>(&connector), title, text});
    if (!consolePosted)
        consolePosted = PostMessageW(boxOwner, kConsoleAlertMessage, 0, 0) != FALSE;
}

std::vector<ConsoleAlertNote> EngineAlerts::TakeConsoleAlerts() {
    std::lock_guard<std::mutex> hold(lock);
    consolePosted = false;
    std::vector<ConsoleAlertNote> taken;
    taken.swap(consoleNotes);
    return taken;
}

}  // namespace tolvi
