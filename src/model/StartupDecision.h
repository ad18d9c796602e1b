// The start-up decisions that need no window system: reading the command line, whether to
// start in the tray, and what a second instance does with the first one's window.
#pragma once
#include <string>

namespace tolvi {

// The command line after the program's own path, without the blanks in front.
std::string CommandLineTail(const std::string& commandLine);

// True when the tail holds "minimized" anywhere (case-sensitive, as "/minimized" does).
bool WantsTrayStart(const std::string& tail);

// What a second start does before it ends.
struct SecondInstanceAction {
    bool bringToFront = false;  // the first instance's window is known
    bool restore = false;       // and it is minimised on the task bar
};

SecondInstanceAction DecideSecondInstance(bool firstWindowKnown, bool firstWindowMinimised);

}  // namespace tolvi
