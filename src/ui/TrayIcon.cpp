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

NOTIFYICONDATAW TrayBalloonRecord(HWND owner, UINT id, UINT callbackMessage, HICON icon,
                                  const char* tip, const std::string& title,
                                  const std::string& text) {
    NOTIFYICONDATAW record = TrayIconRecord(owner, callbackMessage, icon, tip);
    record.cbSize = NOTIFYICONDATAW_V2_SIZE;
    record.uID = id;
    record.uFlags |= NIF_INFO;
    record.dwInfoFlags = NIIF_WARNING;
    lstrcpynW(record.szInfoTitle, platform::Widen(title).c_str(), 64);
    lstrcpynW(record.szInfo, platform::Widen(text).c_str(), 256);
    return record;
}

}  // namespace tolvi::ui
