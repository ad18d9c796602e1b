// The connectors' alerts, queued on any thread and shown on the GUI thread.
#include "app/EngineAlerts.h"

#include "ui/MessageBox.h"

namespace tolvi {

void EngineAlerts::SetOwner(HWND owner) {
    std::lock_guard<std::mutex> hold(lock);
    boxOwner = owner;
    if (!owner) {
        waiting.clear();
        outstanding.clear();
        posted = false;
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

}  // namespace tolvi
