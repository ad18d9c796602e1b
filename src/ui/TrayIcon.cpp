// The notification-area icon record.
#include "ui/TrayIcon.h"

#include "platform/win32/WideText.h"

namespace tolvi::ui {

NOTIFYICONDATAW TrayIconRecord(HWND owner, UINT callbackMessage, HICON icon, const char* tip) {
    NOTIFYICONDATAW record{};
    record.cbSize = NOTIFYICONDATAW_V1_SIZE;
    record.hWnd = owner;
    record.uID = 0;
    record.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    record.uCallbackMessage = callbackMessage;
    record.hIcon = icon;
    lstrcpynW(record.szTip, platform::Widen(tip).c_str(), 64);
    return record;
}

}  // namespace tolvi::ui
