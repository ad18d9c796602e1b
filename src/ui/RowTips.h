// A tooltip over a report list view that tells the row under the pointer in the words its
// owner gives for that row; a row with nothing to say shows no tip. The list's own info tips
// are not used: wine's list view never asks for them.
#pragma once
#include <windows.h>

#include <functional>
#include <string>

namespace tolvi::ui {

class RowTips {
  public:
    RowTips() = default;
    ~RowTips();
    RowTips(const RowTips&) = delete;
    RowTips& operator=(const RowTips&) = delete;

    // Puts the tips over list; textOf gives a row's tip, "" for none. False when the tooltip
    // could not be made, and the list goes without.
    bool Attach(HWND list, std::function<std::string(int row)> textOf);
    // The rows' texts may have changed: the row under the pointer is asked again.
    void Refresh();
    // Lets go of the list; the tooltip goes with it.
    void Detach();

  private:
    static LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM w, LPARAM l, UINT_PTR id,
                                     DWORD_PTR self);
    void PointerAt(int row);
    void Show(const std::string& text);

    HWND list = nullptr;
    HWND tip = nullptr;
    int pointedRow = -1;
    std::wstring shown;
    std::function<std::string(int)> textOf;
};

}  // namespace tolvi::ui
