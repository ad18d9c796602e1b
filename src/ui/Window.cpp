// The window base: class registration, creation, the window procedure thunk.
#include "ui/Window.h"

#include <cstdio>
#include <map>
#include <string>
#include <tuple>

namespace tolvi::ui {

HINSTANCE AppInstance() {
    return GetModuleHandleA(nullptr);
}

const char* RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, std::string> classes;
    auto key = std::make_tuple(style, cursor, background, icon);
    auto found = classes.find(key);
    if (found != classes.end())
        return found->second.c_str();
    char name[96];
    std::snprintf(name, sizeof name, "Tolvi:%x:%p:%p:%p", style, static_cast<void*>(cursor),
                  static_cast<void*>(background), static_cast<void*>(icon));
    WNDCLASSA wc{};
    wc.style = style;
    wc.lpfnWndProc = DefWindowProcA;  // the thunk is set per window at creation
    wc.hInstance = AppInstance();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = name;
    RegisterClassA(&wc);
    return classes.emplace(key, name).first->second.c_str();
}

namespace {
// The window being created on this thread: messages before WM_NCCREATE reach it through this.
thread_local Window* creating = nullptr;
}  // namespace

Window::~Window() {
    if (hwnd_) {
        SetWindowLongPtrA(hwnd_, GWLP_USERDATA, 0);
        ::DestroyWindow(hwnd_);
        hwnd_ = nullptr;
    }
}

bool Window::PreCreateWindow(CREATESTRUCTA& cs) {
    if (!cs.lpszClass)
        cs.lpszClass = RegisterWindowClass(CS_DBLCLKS, LoadCursor(nullptr, IDC_ARROW),
                                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return true;
}

bool Window::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style,
                      const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    return CreateEx(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent, idOrMenu);
}

bool Window::CreateEx(DWORD exStyle, const char* className, const char* title, DWORD style, int x,
                      int y, int width, int height, HWND parent, UINT_PTR idOrMenu) {
    CREATESTRUCTA cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = title;
    cs.style = static_cast<LONG>(style);
    cs.x = x;
    cs.y = y;
    cs.cx = width;
    cs.cy = height;
    cs.hwndParent = parent;
    cs.hMenu = reinterpret_cast<HMENU>(idOrMenu);
    cs.hInstance = AppInstance();
    if (!PreCreateWindow(cs))
        return false;
    // Subclass the new window from its first message on, whatever class it has.
    HHOOK hook = SetWindowsHookExA(
        WH_CBT,
        [](int code, WPARAM w, LPARAM l) -> LRESULT {
            if (code == HCBT_CREATEWND && creating) {
                HWND hwnd = reinterpret_cast<HWND>(w);
                Window* self = creating;
                creating = nullptr;
                self->hwnd_ = hwnd;
                SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
                auto old = reinterpret_cast<WNDPROC>(SetWindowLongPtrA(
                    hwnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&Window::Thunk)));
                SetPropA(hwnd, "TolviBaseProc", reinterpret_cast<HANDLE>(old));
            }
            return CallNextHookEx(nullptr, code, w, l);
        },
        nullptr, GetCurrentThreadId());
    creating = this;
    HWND hwnd =
        CreateWindowExA(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                        cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, nullptr);
    creating = nullptr;
    UnhookWindowsHookEx(hook);
    if (!hwnd)
        hwnd_ = nullptr;
    return hwnd != nullptr;
}

BOOL Window::DestroyWindow() {
    if (!hwnd_)
        return FALSE;
    return ::DestroyWindow(hwnd_);
}

bool Window::OnCmdMsg(UINT id, int code) {
    LRESULT result = 0;
    return Dispatch(WM_COMMAND, MAKEWPARAM(id, code), 0, &result);
}

bool Window::Dispatch(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

LRESULT Window::DefaultProc(UINT msg, WPARAM w, LPARAM l) {
    auto base = reinterpret_cast<WNDPROC>(GetPropA(hwnd_, "TolviBaseProc"));
    return base ? CallWindowProcA(base, hwnd_, msg, w, l) : DefWindowProcA(hwnd_, msg, w, l);
}

LRESULT CALLBACK Window::Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcA(hwnd, msg, w, l);
    LRESULT result = 0;
    if (!self->Dispatch(msg, w, l, &result))
        result = self->DefaultProc(msg, w, l);
    if (msg == WM_NCDESTROY) {
        auto base = reinterpret_cast<LONG_PTR>(GetPropA(hwnd, "TolviBaseProc"));
        RemovePropA(hwnd, "TolviBaseProc");
        if (base)
            SetWindowLongPtrA(hwnd, GWLP_WNDPROC, base);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, 0);
        self->hwnd_ = nullptr;
        self->PostNcDestroy();
    }
    return result;
}

}  // namespace tolvi::ui
