// The framework's own pieces: message tables and command routing, dialogs with data
// exchange over a resource template, and the strings the resources carry.
#include <gtest/gtest.h>

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
