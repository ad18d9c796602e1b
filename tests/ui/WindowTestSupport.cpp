// Helpers for tests of real windows.
#include "ui/WindowTestSupport.h"

#include "support/TestClient.h"

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

namespace {

struct Search {
    std::string caption;
    HWND found = nullptr;
};

BOOL CALLBACK FindDialog(HWND hwnd, LPARAM l) {
    auto* search = reinterpret_cast<Search*>(l);
    char caption[256] = "", cls[64] = "";
    GetWindowTextA(hwnd, caption, sizeof caption);
    GetClassNameA(hwnd, cls, sizeof cls);
    if (IsWindowVisible(hwnd) && search->caption == caption && std::string(cls) == "#32770") {
        search->found = hwnd;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CollectStatics(HWND child, LPARAM l) {
    auto* seen = reinterpret_cast<SeenWindow*>(l);
    char cls[64] = "", text[1024] = "";
    GetClassNameA(child, cls, sizeof cls);
    if (std::string(cls) != "Static") return TRUE;
    if ((GetWindowLongA(child, GWL_STYLE) & SS_TYPEMASK) == SS_ICON) {
        if (SendMessageA(child, STM_GETICON, 0, 0)) seen->hasIcon = true;
        return TRUE;
    }
    GetWindowTextA(child, text, sizeof text);
    if (!seen->text.empty()) seen->text += "|";
    seen->text += text;
    return TRUE;
}

}  // namespace

std::thread AnswerDialog(const std::string& caption, int timeoutMs, SeenWindow* seen,
                         std::function<void(HWND)> act) {
    DWORD process = GetCurrentProcessId();
    (void)process;
    return std::thread([=] {
        Search search{caption, nullptr};
        int64_t end = NowMs() + timeoutMs;
        while (!search.found && NowMs() < end) {
            EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&search));
            if (!search.found) Sleep(20);
        }
        if (!search.found) return;
        seen->found = true;
        seen->caption = caption;
        EnumChildWindows(search.found, CollectStatics, reinterpret_cast<LPARAM>(seen));
        act(search.found);
    });
}

void PressButton(HWND dialog, int id) {
    PostMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(dialog, id)));
}

}  // namespace tolvi::test
