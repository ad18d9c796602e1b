// Our small window framework: a window that owns its HWND and hands each message to an On...
// handler through a table of its class; commands can be offered to another window first.
// Windows are Unicode windows: texts cross here as UTF-8 and are widened at the call.
#pragma once
#include <windows.h>

#include <cstddef>
#include <string>

namespace tolvi::ui {

class Window;

// One row of a class's message table: a window message, a WM_COMMAND id, or a WM_NOTIFY code
// from a control id (or from any control). A message's or a notification's handler gets the
// message's parameters and returns its result. A command reaches its handler through
// OnCmdMsg, whoever sent it: the handler gets its id and notification code in the first
// parameter and 0 in the second, and what it returns is dropped.
template <class T>
struct MessageEntry {
    enum Kind { Message, Command, Notify } kind;
    UINT value;  // the message, the command id, or the control id of a notification
    int code;    // the notification code (Notify only)
    LRESULT (T::*handler)(WPARAM, LPARAM);
};

// The control id of a notification that any control may send (a toolbar's tooltips).
constexpr UINT kAnyControl = ~0u;

template <class T>
constexpr MessageEntry<T> OnMessage(UINT message, LRESULT (T::*h)(WPARAM, LPARAM)) {
    return {MessageEntry<T>::Message, message, 0, h};
}
template <class T>
constexpr MessageEntry<T> OnCommand(UINT id, LRESULT (T::*h)(WPARAM, LPARAM)) {
    return {MessageEntry<T>::Command, id, 0, h};
}
template <class T>
constexpr MessageEntry<T> OnNotify(UINT controlId, int code, LRESULT (T::*h)(WPARAM, LPARAM)) {
    return {MessageEntry<T>::Notify, controlId, code, h};
}

// Looks msg up in table and runs the first handler that matches; false when none does.
template <class T, size_t N>
bool DispatchFrom(T* self, const MessageEntry<T> (&table)[N], UINT msg, WPARAM w, LPARAM l,
                  LRESULT* result) {
    for (const MessageEntry<T>& e : table) {
        bool match = false;
        switch (e.kind) {
            case MessageEntry<T>::Message:
                match = msg == e.value;
                break;
            case MessageEntry<T>::Command:
                match = msg == WM_COMMAND && LOWORD(w) == e.value;
                break;
            case MessageEntry<T>::Notify: {
                const NMHDR* h = reinterpret_cast<const NMHDR*>(l);
                match = msg == WM_NOTIFY && h && (e.value == kAnyControl || h->idFrom == e.value) &&
                        h->code == UINT(e.code);
                break;
            }
        }
        if (match) {
            *result = (self->*e.handler)(w, l);
            return true;
        }
    }
    return false;
}

// A window class registered from a class style, cursor, background and icon, as the classic
// frameworks offer it; the same four values give the same class.
const wchar_t* RegisterWindowClass(UINT style, HCURSOR cursor, HBRUSH background, HICON icon);

HINSTANCE AppInstance();
// A string resource of the program, whatever its length; "" when there is none.
std::string LoadText(UINT id);
// A window's or control's text, and setting it, in UTF-8.
std::string WindowText(HWND window);
void PutWindowText(HWND window, const std::string& text);

class Window {
  public:
    Window() = default;
    virtual ~Window();
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    HWND Hwnd() const { return window; }

    // Creates the window with this object as its owner; className nullptr lets
    // PreCreateWindow choose one. title is UTF-8.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const char* title, DWORD style,
                  const RECT& rect, HWND parent, UINT_PTR idOrMenu);
    // The same with position and size apart, so CW_USEDEFAULT can be passed.
    bool CreateEx(DWORD exStyle, const wchar_t* className, const char* title, DWORD style, int x,
                  int y, int width, int height, HWND parent, UINT_PTR idOrMenu);
    virtual BOOL DestroyWindow();

    // Every WM_COMMAND comes here. The default offers it to this window's table; a window
    // that routes commands to others first overrides it. True when a handler took it.
    virtual bool OnCmdMsg(UINT id, int code);

  protected:
    virtual bool PreCreateWindow(CREATESTRUCTW& cs);
    // The class's message table; a class without one leaves it to the default.
    virtual bool Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result);
    virtual LRESULT DefaultProc(UINT msg, WPARAM w, LPARAM l);

  private:
    friend const wchar_t* RegisterWindowClass(UINT, HCURSOR, HBRUSH, HICON);
    static LRESULT CALLBACK Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    void Detach();
    HWND window = nullptr;
};

}  // namespace tolvi::ui
