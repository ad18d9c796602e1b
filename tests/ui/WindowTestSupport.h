// Helpers for tests of real windows: a top-level host, a message pump with a deadline, and a
// helper thread that answers a modal box or dialog the way a user would.
#pragma once
#include <windows.h>

#include <functional>
#include <string>
#include <thread>

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

// What a helper thread saw of a top-level dialog window of this process.
struct SeenWindow {
    std::string caption;
    std::string text;  // the texts of its static controls, joined by '|'
    bool found = false;
    bool hasIcon = false;
};

// Starts a thread that waits up to timeoutMs for a visible dialog window titled caption,
// records it, runs act(hwnd) on it (for instance pressing a button) and ends.
std::thread AnswerDialog(const std::string& caption, int timeoutMs, SeenWindow* seen,
                         std::function<void(HWND)> act);

// Presses a dialog's button as a click would.
void PressButton(HWND dialog, int id);

}  // namespace tolvi::test
