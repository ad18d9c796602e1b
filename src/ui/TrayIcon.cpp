// The notification-area icon record.
#include "ui/TrayIcon.h"

namespace tolvi::ui {

NOTIFYICONDATAA TrayIconRecord(HWND owner, UINT callbackMessage, HICON icon, const char* tip) {
    NOTIFYICONDATAA record{};
    record.cbSize = NOTIFYICONDATAA_V1_SIZE;
    record.hWnd = owner;
    record.uID = 0;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = callbackMessage;
    record.hIcon = icon;
    lstrcpynA(record.szTip, tip, 64);
    return record;
}

}  // namespace tolvi::ui
