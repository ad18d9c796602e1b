// The first instance's main window, in a data area that every process started from the same
// program file shares, so a second start can bring it forward.
#pragma once
#include <windows.h>

namespace tolvi {

HWND ReadSharedMainWindow();
void WriteSharedMainWindow(HWND window);

}  // namespace tolvi
