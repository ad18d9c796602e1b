// Helpers for tests of real windows: a top-level host, a message pump with a deadline, and a
// helper thread that answers a modal box or dialog the way a user would.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>
#include <vector>

#include "ui/Window.h"

namespace tolvi::test {

// A plain visible top-level window to be the parent of the window under test.
class HostWindow : public ui::Window {
  public:
    bool Create(int width, int height);
};

// Runs the message loop until done() or timeoutMs has passed; returns done().
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int ms);
// Asks a connector list window, of this process or another, for its refresh through the
// message its timer sends, again and again until done() or timeoutMs: no test waits for the
// clock. What done() waits for is the connectors' threads.
bool RefreshUntil(HWND view, const std::function<bool()>& done, int timeoutMs = 3000);

// What a helper thread saw of a top-level dialog window of this process.
struct SeenWindow {
    std::string caption;
    std::string text;  // the texts of its static controls, joined by '|'
    bool found = false;
    bool hasIcon = false;
    HICON icon = nullptr;
};

// One step of a user's answers: wait for the dialog titled caption, then act on it.
struct Step {
    std::string caption;
    std::function<void(HWND)> act;
};

// Runs the steps in order on a thread, recording every window it met in seen (one entry per
// step; a step whose window never came is recorded as not found, and the script stops).
std::thread Script(std::vector<Step> steps, std::vector<SeenWindow>* seen,
                   int stepTimeoutMs = 8000);

// Actions for steps.
void SetText(HWND dialog, int id, const std::string& text);
std::string GetText(HWND dialog, int id);
void Click(HWND dialog, int id);  // a check box or button, as a mouse click

// Starts a thread that waits up to timeoutMs for a visible dialog window titled caption,
// records it, runs act(hwnd) on it (for instance pressing a button) and ends.
std::thread AnswerDialog(const std::string& caption, int timeoutMs, SeenWindow* seen,
                         std::function<void(HWND)> act);

// Whether owner's tray icon exists: changing an icon succeeds only for one that does.
bool HasTrayIcon(HWND owner);

// The items of the pop-up menu that opens next, read by a helper thread, which then closes
// it; the texts in order, "" for a separator.
std::thread ReadNextPopupMenu(std::vector<std::string>* items, HWND owner);

// Presses a dialog's button as a click would.
void PressButton(HWND dialog, int id);

// Closes every dialog and box of this process still showing.
void DismissDialogs();

}  // namespace tolvi::test
