// What the connectors tell the GUI: the failures a user must see, as message boxes owned by
// the main window (disabled while one is up). A worker never waits on the user: its alert is
// queued and posted to the main window, whose message loop shows the boxes one at a time.
// Everything else the list shows at its next refresh.
#pragma once
#include <windows.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "engine/ConnectorObserver.h"

namespace tolvi {

// Posted to the owner when an alert is waiting; its handler calls ShowQueued.
constexpr UINT kAlertMessage = WM_APP + 1;
// Posted to the owner when a console's line has matched; its handler takes TakeConsoleAlerts.
constexpr UINT kConsoleAlertMessage = WM_APP + 3;

// A console's alert as the window tells it: whose, and what the balloon says.
struct ConsoleAlertNote {
    uintptr_t connector;  // by address alone: it may be gone when the note is taken
    std::string title;
    std::string text;
};

class EngineAlerts : public ConnectorObserver {
  public:
    // The window that shows the boxes; nullptr while there is none, and alerts that come
    // then are not shown (nor is any still waiting).
    void SetOwner(HWND owner);
    // Any thread; returns at once. An alert of the same connector with the same text that is
    // still waiting or showing is not queued again.
    void OnAlert(const PipeConnector& connector, const std::string& text) override;
    // The same for a failure that is no connector's (the SSH server's).
    void OnProgramAlert(const std::string& text);
    // On the GUI thread: shows the waiting alerts, one box after another.
    void ShowQueued();
    // Any thread; returns at once. Not a box: nobody is there to close one at night.
    void OnConsoleAlert(const PipeConnector& connector, const ConsoleAlert& alert) override;
    // On the GUI thread: the console alerts that came since the last call, oldest first.
    std::vector<ConsoleAlertNote> TakeConsoleAlerts();

  private:
    // The connector by its address alone: it may be gone by the time its box shows.
    using Key = std::pair<uintptr_t, std::string>;
    void Queue(Key key);

    std::mutex lock;
    HWND boxOwner = nullptr;       // guarded by lock
    std::deque<Key> waiting;    // guarded by lock
    std::set<Key> outstanding;  // waiting or showing; guarded by lock
    bool posted = false;        // a kAlertMessage is on its way; guarded by lock
    bool showing = false;       // GUI thread only
    std::vector<ConsoleAlertNote> consoleNotes;  // guarded by lock
    bool consolePosted = false;                  // guarded by lock
};

}  // namespace tolvi
