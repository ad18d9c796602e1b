// A modal dialog over a resource template, whose fields are exchanged with its controls.
#pragma once
#include <windows.h>

#include <string>

namespace tolvi::ui {

// Moves values between a dialog's controls and its fields, one way at a time.
class DataExchange {
  public:
    DataExchange(HWND dialog, bool save) : dialog_(dialog), save_(save) {}
    bool Saving() const { return save_; }
    void Text(int id, std::string& value);
    void Check(int id, int& value);
    void Check(int id, bool& value);

  private:
    HWND dialog_;
    bool save_;
};

class Dialog {
  public:
    Dialog(int templateId, HWND parent) : templateId_(templateId), parent_(parent) {}
    virtual ~Dialog() = default;
    Dialog(const Dialog&) = delete;
    Dialog& operator=(const Dialog&) = delete;

    // Shows the dialog and returns the id that ended it (IDOK, IDCANCEL, ...), or -1.
    INT_PTR DoModal();
    HWND Hwnd() const { return hwnd_; }

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
    void EndDialog(INT_PTR result) { ::EndDialog(hwnd_, result); }
    HWND Item(int id) const { return GetDlgItem(hwnd_, id); }

  private:
    static INT_PTR CALLBACK Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l);
    int templateId_;
    HWND parent_;
    HWND hwnd_ = nullptr;
};

}  // namespace tolvi::ui
