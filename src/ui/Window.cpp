// The window base: class registration, creation, the window procedure thunk.
#include "ui/Window.h"

#include <cstdio>
#include <map>
#include <tuple>
#include <vector>

#include "platform/win32/WideText.h"

namespace tolvi::ui {

HINSTANCE AppInstance() {
    return GetModuleHandleW(nullptr);
}

std::string LoadText(UINT id) {
    // With no room given, the string table's own read-only text comes back, and its length.
    const wchar_t* text = nullptr;
    int length = LoadStringW(AppInstance(), id, reinterpret_cast<LPWSTR>(&text), 0);
    return length > 0 && text ? platform::Narrow(text, length) : std::string();
}

std::string WindowText(HWND window) {
    int length = GetWindowTextLengthW(window);
    std::vector<wchar_t> buffer(static_cast<size_t>(length > 0 ? length : 0) + 1);
    int got = GetWindowTextW(window, buffer.data(), static_cast<int>(buffer.size()));
    return platform::Narrow(buffer.data(), got > 0 ? got : 0);
}

void PutWindowText(HWND window, const std::string& text) {
    SetWindowTextW(window, platform::Widen(text).c_str());
}

const wchar_t* RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon) {
    static std::map<std::tuple<UINT, HCURSOR, HBRUSH, HICON>, std::wstring> classes;
    auto key = std::make_tuple(style, cursor, background, icon);
    auto found = classes.find(key);
    if (found != classes.end())
        return found->second.c_str();
    char name[96];
    std::snprintf(name, sizeof name, "Tolvi:%x:%p:%p:%p", style, static_cast<void*>(cursor),
                  static_cast<void*>(background), static_cast<void*>(icon));
    const std::wstring& className = classes.emplace(key, platform::Widen(name)).first->second;
    WNDCLASSW wc{};
    wc.style = style;
    wc.lpfnWndProc = &Window::Thunk;  // every class is ours: each window is bound at birth
    wc.hInstance = AppInstance();
    wc.hCursor = cursor;
    wc.hbrBackground = background;
    wc.hIcon = icon;
    wc.lpszClassName = className.c_str();
    RegisterClassW(&wc);
    return className.c_str();
}

Window::~Window() {
    if (window) {
        HWND hwnd = window;
        Detach();
        ::DestroyWindow(hwnd);
    }
}

void Window::Detach() {
    SetWindowLongPtrW(window, GWLP_USERDATA, 0);
    window = nullptr;
}

bool Window::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!cs.lpszClass)
        cs.lpszClass = RegisterWindowClass(CS_DBLCLKS, LoadCursorW(nullptr, IDC_ARROW),
                                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return true;
}

bool Window::CreateEx(DWORD exStyle, const wchar_t* className, const char* title, DWORD style,
                      const RECT& rect, HWND parent, UINT_PTR idOrMenu) {
    return CreateEx(exStyle, className, title, style, rect.left, rect.top, rect.right - rect.left,
                    rect.bottom - rect.top, parent, idOrMenu);
}

bool Window::CreateEx(DWORD exStyle, const wchar_t* className, const char* title, DWORD style,
                      int x, int y, int width, int height, HWND parent, UINT_PTR idOrMenu) {
    const std::wstring wideTitle = platform::Widen(title ? title : "");
    CREATESTRUCTW cs{};
    cs.dwExStyle = exStyle;
    cs.lpszClass = className;
    cs.lpszName = wideTitle.c_str();
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
    // The object travels with the creation and is bound to the window at WM_NCCREATE.
    HWND hwnd =
        CreateWindowExW(cs.dwExStyle, cs.lpszClass, cs.lpszName, static_cast<DWORD>(cs.style), cs.x,
                        cs.y, cs.cx, cs.cy, cs.hwndParent, cs.hMenu, cs.hInstance, this);
    if (!hwnd)
        window = nullptr;
    return hwnd != nullptr;
}

BOOL Window::DestroyWindow() {
    if (!window)
        return FALSE;
    return ::DestroyWindow(window);
}

bool Window::OnCmdMsg(UINT id, int code) {
    LRESULT result = 0;
    return Dispatch(WM_COMMAND, MAKEWPARAM(id, code), 0, &result);
}

bool Window::Dispatch(UINT, WPARAM, LPARAM, LRESULT*) {
    return false;
}

LRESULT Window::DefaultProc(UINT msg, WPARAM w, LPARAM l) {
    return DefWindowProcW(window, msg, w, l);
}

LRESULT CALLBACK Window::Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    if (msg == WM_NCCREATE) {
        auto* create = reinterpret_cast<const CREATESTRUCTW*>(l);
        auto* self = static_cast<Window*>(create->lpCreateParams);
        if (self) {
            self->window = hwnd;
            SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        }
    }
    auto* self = reinterpret_cast<Window*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(hwnd, msg, w, l);  // before WM_NCCREATE, or after WM_DESTROY
    LRESULT result = 0;
    // Commands take one road, whoever sent them: the window's routing, then its table.
    bool handled = msg == WM_COMMAND ? self->OnCmdMsg(LOWORD(w), HIWORD(w))
                                     : self->Dispatch(msg, w, l, &result);
    if (!handled)
        result = self->DefaultProc(msg, w, l);
    if (msg == WM_DESTROY) {
        // The object lets go of the window: what is left of it is the system's.
        self->Detach();
    }
    return result;
}

}  // namespace tolvi::ui
