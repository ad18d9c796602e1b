// The modal dialog base.
#include "ui/Dialog.h"

#include "ui/DialogFit.h"
#include "ui/Window.h"

namespace tolvi::ui {

void DataExchange::Text(int id, std::string& value) {
    HWND control = GetDlgItem(dialogWindow, id);
    if (saving)
        value = WindowText(control);
    else
        PutWindowText(control, value);
}

void DataExchange::Check(int id, int& value) {
    if (saving) {
        value = IsDlgButtonChecked(dialogWindow, id) == BST_CHECKED ? 1 : 0;
    } else {
        CheckDlgButton(dialogWindow, id, value ? BST_CHECKED : BST_UNCHECKED);
    }
}

void DataExchange::Check(int id, bool& value) {
    int v = value ? 1 : 0;
    Check(id, v);
    value = v != 0;
}

INT_PTR Dialog::DoModal() {
    return DialogBoxParamW(AppInstance(), MAKEINTRESOURCEW(resourceId), owner, &Dialog::Thunk,
                           reinterpret_cast<LPARAM>(this));
}

BOOL Dialog::OnInitDialog() {
    UpdateData(false);
    return TRUE;  // the first control takes the focus
}

void Dialog::OnOK() {
    UpdateData(true);
    EndDialog(IDOK);
}

void Dialog::OnCancel() {
    EndDialog(IDCANCEL);
}

bool Dialog::OnDialogMessage(UINT, WPARAM, LPARAM, INT_PTR*) {
    return false;
}

void Dialog::UpdateData(bool save) {
    DataExchange dx(window, save);
    DoDataExchange(dx);
}

INT_PTR CALLBACK Dialog::Thunk(HWND hwnd, UINT msg, WPARAM w, LPARAM l) {
    Dialog* self;
    if (msg == WM_INITDIALOG) {
        self = reinterpret_cast<Dialog*>(l);
        self->window = hwnd;
        SetWindowLongPtrW(hwnd, DWLP_USER, l);
        WidenForTexts(hwnd);  // the template's own texts, before any field fills a control
        return self->OnInitDialog();
    }
    self = reinterpret_cast<Dialog*>(GetWindowLongPtrW(hwnd, DWLP_USER));
    if (!self)
        return FALSE;
    INT_PTR result = FALSE;
    if (self->OnDialogMessage(msg, w, l, &result))
        return result;
    if (msg == WM_COMMAND && HIWORD(w) == BN_CLICKED) {
        if (LOWORD(w) == IDOK) {
            self->OnOK();
            return TRUE;
        }
        if (LOWORD(w) == IDCANCEL) {
            self->OnCancel();
            return TRUE;
        }
    }
    if (msg == WM_NCDESTROY)
        self->window = nullptr;
    return FALSE;
}

}  // namespace tolvi::ui
