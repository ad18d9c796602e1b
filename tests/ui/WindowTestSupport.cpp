// Helpers for tests of real windows.
#include "ui/WindowTestSupport.h"

#include <shellapi.h>

#include "platform/win32/WideText.h"
#include "support/TestClient.h"
#include "ui/TrayIcon.h"

namespace tolvi::test {

bool HostWindow::Create(int width, int height) {
    RECT r{50, 50, 50 + width, 50 + height};
    return CreateEx(0, nullptr, "tolvi test host", WS_OVERLAPPEDWINDOW | WS_VISIBLE, r, nullptr, 0);
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
    int64_t end = NowMs() + timeoutMs;
    while (!done() && NowMs() < end) {
        MSG msg;
        while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        Sleep(5);
    }
    return done();
}

void PumpFor(int ms) {
    PumpUntil([] { return false; }, ms);
}

bool RefreshUntil(HWND view, const std::function<bool()>& done, int timeoutMs) {
    return PumpUntil(
        [&] {
            SendMessageW(view, WM_TIMER, 1, 0);
            return done();
        },
        timeoutMs);
}

namespace {

struct Search {
    std::string caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM l) {
    auto* search = reinterpret_cast<Search*>(l);
    char caption[256] = "", cls[64] = "";
    // The caption only of visible dialogs: reading another thread's window text sends it a
    // message, which a test thread that waits for this one would never answer.
    GetClassNameA(hwnd, cls, sizeof cls);
    if (std::string(cls) != "#32770" || !IsWindowVisible(hwnd))
        return TRUE;
    GetWindowTextA(hwnd, caption, sizeof caption);
    if (search->caption == caption) {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM l) {
    auto* seen = reinterpret_cast<SeenWindow*>(l);
    char cls[64] = "", text[1024] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (std::string(cls) != "Static")
        return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        seen->icon = reinterpret_cast<HICON>(SendMessageA(child, STM_GETICON, 0, 0));
        if (seen->icon)
            seen->hasIcon = true;
        return TRUE;
    }
    GetWindowTextA(child, text, sizeof text);
    if (!seen->text.empty())
        seen->text += "|";
    seen->text += text;
    return TRUE;
}

}  // namespace

std::thread AnswerDialog(const std::string& caption, int timeoutMs, SeenWindow* seen,
                         std::function<void(HWND)> act) {
    return std::thread([=] {
        Search search{caption, nullptr};
        int64_t end = NowMs() + timeoutMs;
        while (!search.found && NowMs() < end) {
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
            if (!search.found)
                Sleep(20);
        }
        if (!search.found)
            return;
        seen->found = true;
        seen->caption = caption;
        EnumChildWindows(search.found, CollectStatics, reinterpret_cast<LPARAM>(seen));
        act(search.found);
    });
}

// Closes every dialog and box of this process still showing, so that a test whose script went
// wrong fails instead of waiting in a modal loop for ever.
void DismissDialogs() {
    for (int round = 0; round < 20; ++round) {
        Search search{"", nullptr};
        EnumWindows(
            [](HWND hwnd, LPARAM) -> BOOL {
                char cls[64] = "";
                GetClassNameA(hwnd, cls, sizeof cls);
                DWORD pid = 0;
                GetWindowThreadProcessId(hwnd, &pid);
                if (pid == GetCurrentProcessId() && IsWindowVisible(hwnd) &&
                    std::string(cls) == "#32770") {
                    PostMessageA(hwnd, WM_COMMAND, IDCANCEL, 0);
                    PostMessageA(hwnd, WM_CLOSE, 0, 0);
                }
                return TRUE;
            },
            0);
        Sleep(100);
    }
}

std::thread Script(std::vector<Step> steps, std::vector<SeenWindow>* seen, int stepTimeoutMs) {
    seen->clear();
    return std::thread([=] {
        for (const Step& step : steps) {
            Search search{step.caption, nullptr};
            int64_t end = NowMs() + stepTimeoutMs;
            while (!search.found && NowMs() < end) {
                EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
                if (!search.found)
                    Sleep(20);
            }
            SeenWindow w;
            w.caption = step.caption;
            w.found = search.found != nullptr;
            if (w.found)
                EnumChildWindows(search.found, CollectStatics, reinterpret_cast<LPARAM>(&w));
            seen->push_back(w);
            if (!w.found) {
                DismissDialogs();
                return;
            }
            step.act(search.found);
            // Wait for the window to go, or to be covered by a box of its own, before looking
            // for the next one.
            int64_t gone = NowMs() + stepTimeoutMs;
            while (IsWindow(search.found) && IsWindowVisible(search.found) &&
                   IsWindowEnabled(search.found) && NowMs() < gone) {
                Sleep(20);
            }
        }
    });
}

// Texts as UTF-16, as a user's typing reaches the controls, so that any letter arrives.
void SetText(HWND dialog, int id, const std::string& text) {
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0,
                 reinterpret_cast<LPARAM>(platform::Widen(text).c_str()));
}

std::string GetText(HWND dialog, int id) {
    wchar_t text[512] = L"";
    SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 512, reinterpret_cast<LPARAM>(text));
    return platform::Narrow(text);
}

bool HasTrayIcon(HWND owner) {
    NOTIFYICONDATAW record = ui::TrayIconRecord(
        owner, WM_USER + 1, LoadIcon(nullptr, IDI_APPLICATION), "Named Pipe TCP Proxy");
    return Shell_NotifyIconW(NIM_MODIFY, &record) != FALSE;
}

std::thread ReadNextPopupMenu(std::vector<std::string>* items, HWND owner) {
    items->clear();
    return std::thread([=] {
        HWND popup = nullptr;
        for (int i = 0; i < 250 && !popup; ++i) {
            popup = FindWindowA("#32768", nullptr);
            if (!popup || !IsWindowVisible(popup))
                popup = nullptr, Sleep(20);
        }
        if (!popup)
            return;
        HMENU menu = reinterpret_cast<HMENU>(SendMessageA(popup, MN_GETHMENU, 0, 0));
        for (int i = 0; i < GetMenuItemCount(menu); ++i) {
            char text[64] = "";
            GetMenuStringA(menu, i, text, sizeof text, MF_BYPOSITION);
            items->push_back(text);
        }
        PostMessageA(popup, WM_KEYDOWN, VK_ESCAPE, 0);
        PostMessageA(owner, WM_CANCELMODE, 0, 0);
    });
}

void Click(HWND dialog, int id) {
    SendMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace tolvi::test
