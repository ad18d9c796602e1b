// The notification-area icon record: built afresh for every add and every removal.
#pragma once
#include <windows.h>
#include <shellapi.h>

namespace tolvi::ui {

// The record in its first form (size NOTIFYICONDATAA_V1_SIZE), icon id 0, with a message,
// an icon and a tip (flags 7), the other members zero.
NOTIFYICONDATAA TrayIconRecord(HWND owner, UINT callbackMessage, HICON icon, const char* tip);

}  // namespace tolvi::ui
