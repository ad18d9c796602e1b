// The connectors' alerts, queued on any thread and shown on the GUI thread.
#include "app/EngineAlerts.h"

#include "ui/MessageBox.h"

namespace tolvi {

void EngineAlerts::SetOwner(HWND owner) {
    std::lock_guard<std::mutex> hold(lock_);
    owner_ = owner;
    if (!owner) {
        waiting_.clear();
        outstanding_.clear();
        posted_ = false;
    }
}

void EngineAlerts::OnAlert(const PipeConnector& connector, const std::string& text) {
    Key key{reinterpret_cast<uintptr_t>(&connector), text};
    std::lock_guard<std::mutex> hold(lock_);
    if (!owner_ || !outstanding_.insert(key).second)
        return;
    waiting_.push_back(std::move(key));
    // One message for any number of waiting alerts: the handler takes them all.
    if (!posted_)
        posted_ = PostMessageW(owner_, kAlertMessage, 0, 0) != FALSE;
}

void EngineAlerts::ShowQueued() {
    if (showing_)
        return;  // inside a box's own message loop: the loop below shows it next
    showing_ = true;
    for (;;) {
        Key next;
        HWND owner;
        {
            std::lock_guard<std::mutex> hold(lock_);
            posted_ = false;
            if (!owner_ || waiting_.empty())
                break;
            next = std::move(waiting_.front());
            waiting_.pop_front();
            owner = owner_;
        }
        ui::AppMessageBox(owner, next.second);
        std::lock_guard<std::mutex> hold(lock_);
        outstanding_.erase(next);
    }
    showing_ = false;
}

}  // namespace tolvi
