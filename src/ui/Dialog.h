// A modal dialog over a resource template, whose fields are exchanged with its controls.
#pragma once
#include <windows.h>

#include <string>

namespace tolvi::ui {

// Moves values between a dialog's controls and its fields, one way at a time.
class DataExchange {
  public:
    DataExchange(HWND dialog, bool save) : dialogWindow(dialog), saving(save) {}
    bool Saving() const { return saving; }
    void Text(int id, std::string& value);
    void Check(int id, int& value);
    void Check(int id, bool& value);

  private:
    HWND dialogWindow;
    bool saving;
};

class Dialog {
  public:
    Dialog(int templateId, HWND parent) : resourceId(templateId), owner(parent) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog and returns the id that ended it (IDOK, IDCANCEL, ...), or -1.
    INT_PTR DoModal();
    HWND Hwnd() const { return window; }

  protected:
    // Fills the controls from the fields; override to set up more.
    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(DataExchange&) {}
    // Reads the controls into the fields and closes with IDOK.
    virtual void OnOK();
    virtual void OnCancel();
    // Other commands and messages; true when handled.
    virtual bool OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result);

    void UpdateData(bool save);
    void EndDialog(INT_PTR result) { ::EndDialog(window, result); }
    HWND Item(int id) const { return GetDlgItem(window, id); }

  private:
    static INT_PTR CALLBACK Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    int resourceId;
    HWND owner;
    HWND window = nullptr;
};

}  // namespace tolvi::ui
