// The first instance's main window, where a second start of the same program file in the
// same logon session finds it to bring it forward: a small named memory block in the
// session's own namespace (Local\), which lives as long as the first instance.
#pragma once
#include <windows.h>

#include <string>

namespace tolvi {

// The block's name for the program file at path: one per program file and session.
std::string SharedWindowName(const std::string& programPath);

// The first instance's window; nullptr when no instance of this program file in this session
// has stored one.
HWND ReadSharedMainWindow();
// Stores window for later starts; the block stays until this process ends.
void WriteSharedMainWindow(HWND window);

}  // namespace tolvi
