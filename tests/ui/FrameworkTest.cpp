// The framework's own pieces: message tables and command routing, dialogs with data
// exchange over a resource template and room for their texts, and the strings the resources
// carry.
#include <gtest/gtest.h>

#include "platform/win32/WideText.h"
#include "resource.h"
#include "ui/Dialog.h"
#include "ui/MessageBox.h"
#include "ui/WindowTestSupport.h"

namespace tolvi::test {
namespace {

class Counter : public ui::Window {
  public:
    int commands = 0, sizes = 0;
    LRESULT OnNew(WPARAM, LPARAM) {
        ++commands;
        return 0;
    }
    LRESULT OnSize(WPARAM, LPARAM) {
        ++sizes;
        return 0;
    }

  protected:
    bool Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) override {
        static const ui::MessageEntry<Counter> kMessages[] = {
            ui::OnCommand(ID_CONNECTOR_NEW, &Counter::OnNew),
            ui::OnMessage(WM_SIZE, &Counter::OnSize),
        };
        return ui::DispatchFrom(this, kMessages, msg, w, l, result) ||
               Window::Dispatch(msg, w, l, result);
    }
};

TEST(Framework, MessagesAndCommandsReachTheirHandlers) {
    Counter window;
    RECT r{0, 0, 200, 100};
    ASSERT_TRUE(window.CreateEx(0, nullptr, "counter", WS_OVERLAPPEDWINDOW, r, nullptr, 0));
    SendMessageA(window.Hwnd(), WM_COMMAND, MAKEWPARAM(ID_CONNECTOR_NEW, 0), 0);
    EXPECT_EQ(window.commands, 1);
    EXPECT_TRUE(window.OnCmdMsg(ID_CONNECTOR_NEW, 0));
    EXPECT_FALSE(window.OnCmdMsg(ID_CONNECTOR_EDIT, 0));  // not in its table
    EXPECT_EQ(window.commands, 2);
    MoveWindow(window.Hwnd(), 0, 0, 300, 200, TRUE);
    EXPECT_GE(window.sizes, 1);
    window.DestroyWindow();
    EXPECT_EQ(window.Hwnd(), nullptr);
}

class SettingsLike : public ui::Dialog {
  public:
    SettingsLike() : Dialog(IDD_SETTINGS, nullptr) {}
    int autoStart = 0, exitToTray = 0;

  protected:
    void DoDataExchange(ui::DataExchange& dx) override {
        dx.Check(IDC_AUTOSTART, autoStart);
        dx.Check(IDC_EXIT_TO_TRAY, exitToTray);
    }
};

TEST(Framework, DialogExchangesItsFieldsOnOkOnly) {
    SettingsLike dialog;
    dialog.autoStart = 1;
    SeenWindow seen;
    std::thread user = AnswerDialog("Settings", 5000, &seen, [](HWND d) {
        SendMessageA(GetDlgItem(d, IDC_EXIT_TO_TRAY), BM_CLICK, 0, 0);
        SendMessageA(GetDlgItem(d, IDC_AUTOSTART), BM_CLICK, 0, 0);
        PressButton(d, IDOK);
    });
    EXPECT_EQ(dialog.DoModal(), IDOK);
    user.join();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(dialog.autoStart, 0);
    EXPECT_EQ(dialog.exitToTray, 1);

    user = AnswerDialog("Settings", 5000, &seen, [](HWND d) {
        SendMessageA(GetDlgItem(d, IDC_AUTOSTART), BM_CLICK, 0, 0);
        PressButton(d, IDCANCEL);
    });
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    user.join();
    EXPECT_EQ(dialog.autoStart, 0);  // cancelled: the fields keep their values
}

// A label's or check box's text, or "65535" in a port's field, when its control cannot show it
// whole in its own font; "" when it can, and for any other control.
std::string Clipped(HWND control) {
    wchar_t cls[32] = L"", text[512] = L"";
    GetClassNameW(control, cls, 32);
    GetWindowTextW(control, text, 512);
    const LONG style = GetWindowLongW(control, GWL_STYLE);
    const int id = GetDlgCtrlID(control);
    RECT client;
    GetClientRect(control, &client);
    RECT needed{0, 0, client.right, 0};
    std::wstring shown = text;
    if (!lstrcmpiW(cls, L"Button") && (style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
        needed.right -= GetSystemMetrics(SM_CXMENUCHECK);
    } else if (!lstrcmpiW(cls, L"Edit") &&
               (id == IDC_PORT || id == IDC_WEB_PORT || id == IDC_WATCH_PORT)) {
        DWORD margins = static_cast<DWORD>(SendMessageW(control, EM_GETMARGINS, 0, 0));
        needed.right -= LOWORD(margins) + HIWORD(margins);
        shown = L"65535";  // any port a user may type
    } else if (lstrcmpiW(cls, L"Static") || (style & SS_TYPEMASK) != SS_LEFT) {
        return "";
    }
    const LONG room = needed.right;
    HDC dc = GetDC(control);
    SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
    DrawTextW(dc, shown.c_str(), -1, &needed, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
    ReleaseDC(control, dc);
    return needed.right <= room && needed.bottom <= client.bottom ? "" : platform::Narrow(shown);
}

TEST(Framework, EveryDialogShowsItsTextsWhole) {
    const std::pair<int, const char*> dialogs[] = {{IDD_ADD_CONNECTOR, "Add pipe connector"},
                                                   {IDD_EDIT_CONNECTOR, "Edit pipe connector"},
                                                   {IDD_CONSOLE_OPTIONS, "Console options"},
                                                   {IDD_SETTINGS, "Settings"},
                                                   {IDD_ABOUTBOX, "Named Pipe TCP Proxy"}};
    for (const auto& d : dialogs) {
        ui::Dialog dialog(d.first, nullptr);
        std::vector<std::string> clipped;
        SeenWindow seen;
        std::thread user = AnswerDialog(d.second, 5000, &seen, [&](HWND shown) {
            for (HWND c = GetWindow(shown, GW_CHILD); c; c = GetWindow(c, GW_HWNDNEXT)) {
                std::string lost = Clipped(c);
                if (!lost.empty())
                    clipped.push_back(lost);
            }
            PressButton(shown, IDCANCEL);
        });
        dialog.DoModal();
        user.join();
        EXPECT_TRUE(seen.found) << d.second;
        EXPECT_EQ(clipped, std::vector<std::string>{}) << d.second;
    }
}

TEST(Framework, ResourcesCarryTheTitleAndPrompts) {
    EXPECT_EQ(ui::AppTitle(), "tolvi4");
    char text[256] = "";
    LoadStringA(ui::AppInstance(), ID_CONNECTOR_RESET, text, sizeof text);
    EXPECT_STREQ(text, "Disconnect client\nReset connection");
    LoadStringA(ui::AppInstance(), IDS_IDLE_MESSAGE, text, sizeof text);
    EXPECT_STREQ(text, "Ready");
    HMENU menu = LoadMenuA(ui::AppInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME));
    ASSERT_NE(menu, nullptr);
    EXPECT_EQ(GetMenuItemCount(menu), 4);
    GetMenuStringA(GetSubMenu(menu, 1), 0, text, sizeof text, MF_BYPOSITION);
    EXPECT_STREQ(text, "&New\tCtrl+N");
    DestroyMenu(menu);
    EXPECT_NE(LoadAcceleratorsA(ui::AppInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
    EXPECT_NE(LoadBitmapA(ui::AppInstance(), MAKEINTRESOURCEA(IDR_MAINFRAME)), nullptr);
}

}  // namespace
}  // namespace tolvi::test
