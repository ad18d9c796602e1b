// The notification-area icon record: built afresh for every add and every removal.
#pragma once
#include <windows.h>
#include <shellapi.h>

#include <string>

namespace tolvi::ui {

// The record in its first form (size NOTIFYICONDATAW_V1_SIZE), icon id 0, with a message,
// an icon and a tip (flags 7), the other members zero. tip is UTF-8; at most 63 UTF-16 units
// of it are kept.
NOTIFYICONDATAW TrayIconRecord(HWND owner, UINT callbackMessage, HICON icon, const char* tip);

// The same record, for icon id, in the form that carries a balloon (a warning's): title and
// text are UTF-8, cut to the 63 and 255 UTF-16 units the record holds.
NOTIFYICONDATAW TrayBalloonRecord(HWND owner, UINT id, UINT callbackMessage, HICON icon,
                                  const char* tip, const std::string& title,
                                  const std::string& text);

}  // namespace tolvi::ui
