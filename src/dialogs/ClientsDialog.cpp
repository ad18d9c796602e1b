// The Clients dialog.
#include "dialogs/ClientsDialog.h"

#include <chrono>

#include "model/RowText.h"
#include "platform/win32/WideText.h"
#include "resource.h"
#include "ui/Window.h"

namespace tolvi {
namespace {

struct Column {
    const char* title;
    int percent;  // of the list's width
};
constexpr Column kColumns[] = {{"Client", 31}, {"Came by", 14}, {"Role", 12},
                               {"Since", 17},  {"Sent", 12},    {"Recv", 12}};
enum { kColName, kColKind, kColRole, kColSince, kColSent, kColRecv };

// When a client came, in the user's own format: the time of day, and the date before it
// when that was not today.
std::string SinceText(std::chrono::system_clock::time_point since) {
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, 10000000>>;
    // A FILETIME counts 100 ns ticks from 1601; the clock counts from 1970.
    const int64_t ticks =
        std::chrono::duration_cast<Ticks>(since.time_since_epoch()).count() + 116444736000000000LL;
    if (ticks < 0)
        return "";
    const FILETIME utcFile{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
    SYSTEMTIME utc, local, today;
    if (!FileTimeToSystemTime(&utcFile, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &local)) {
        return "";
    }
    wchar_t text[64] = L"";
    if (!GetTimeFormatEx(LOCALE_NAME_USER_DEFAULT, 0, &local, nullptr, text, 64))
        return "";
    std::string shown = platform::Narrow(text);
    GetLocalTime(&today);
    if ((local.wYear != today.wYear || local.wMonth != today.wMonth || local.wDay != today.wDay) &&
        GetDateFormatEx(LOCALE_NAME_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, text, 64,
                        nullptr)) {
        shown = platform::Narrow(text) + " " + shown;
    }
    return shown;
}

}  // namespace

ClientsDialog::ClientsDialog(HWND parent, Source clientSource)
    : ui::Dialog(IDD_CLIENTS, parent), source(std::move(clientSource)) {
    ui::InitCommonControlsOnce();  // the template's list is a common control
}

BOOL ClientsDialog::OnInitDialog() {
    ui::PutWindowText(Item(IDC_CLIENTS_TITLE), source.title);
    list.Attach(Item(IDC_CLIENTS));
    const DWORD style = LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES;
    list.SetExtendedStyle(style, style);
    RECT client{};
    GetClientRect(list.Hwnd(), &client);
    // The columns share the list's width less a scroll bar's, so that many clients add none
    // across.
    const int width = client.right - GetSystemMetrics(SM_CXVSCROLL);
    for (int i = 0; i < static_cast<int>(sizeof kColumns / sizeof kColumns[0]); ++i)
        list.InsertColumn(i, kColumns[i].title, width * kColumns[i].percent / 100);
    Refresh();
    return TRUE;
}

void ClientsDialog::Refresh() {
    if (!Hwnd() || !list.Hwnd())
        return;
    const int selected = list.GetNextSelected(-1);
    const bool keepOne = selected >= 0 && static_cast<size_t>(selected) < shownIds.size();
    const uint64_t kept = keepOne ? shownIds[static_cast<size_t>(selected)] : 0;
    const std::vector<ClientInfo> now =
        source.clients ? source.clients() : std::vector<ClientInfo>{};
    shownIds.clear();
    refreshing = true;  // the rows' own selection changes are not the user's
    int row = 0;
    for (const ClientInfo& c : now) {
        if (row >= list.GetItemCount() && list.InsertItem(row, c.name) != row)
            break;
        list.SetItemText(row, kColName, c.name);
        list.SetItemText(row, kColKind, ClientKindWord(c.kind));
        list.SetItemText(row, kColRole, c.watching ? "watching" : "typing");
        list.SetItemText(row, kColSince, SinceText(c.since));
        list.SetItemText(row, kColSent, FormatByteCount(c.bytesToClient));
        list.SetItemText(row, kColRecv, FormatByteCount(c.bytesFromClient));
        // Rows move up as clients leave: the selection goes with its client, not its row.
        list.SetSelected(row, keepOne && c.id == kept);
        shownIds.push_back(c.id);
        ++row;
    }
    while (list.GetItemCount() > row)
        list.DeleteItem(row);
    refreshing = false;
    const std::string line = source.line ? source.line() : std::string();
    if (line != shownLine) {
        ui::PutWindowText(Item(IDC_CLIENTS_LINE), line);
        shownLine = line;
    }
    EnableDisconnect();
}

void ClientsDialog::EnableDisconnect() {
    const int selected = list.GetNextSelected(-1);
    HWND button = Item(IDC_DISCONNECT);
    const bool enable = selected >= 0 && static_cast<size_t>(selected) < shownIds.size();
    if (!enable && GetFocus() == button)
        SendMessageW(Hwnd(), WM_NEXTDLGCTL, 0, FALSE);  // a disabled button keeps no focus
    EnableWindow(button, enable);
}

void ClientsDialog::DisconnectSelected() {
    const int selected = list.GetNextSelected(-1);
    if (selected < 0 || static_cast<size_t>(selected) >= shownIds.size())
        return;
    if (source.disconnect)
        source.disconnect(shownIds[static_cast<size_t>(selected)]);
    Refresh();
}

bool ClientsDialog::OnDialogMessage(UINT msg, WPARAM w, LPARAM l, INT_PTR* result) {
    if (msg == WM_COMMAND && LOWORD(w) == IDC_DISCONNECT && HIWORD(w) == BN_CLICKED) {
        DisconnectSelected();
        *result = TRUE;
        return true;
    }
    if (msg == WM_NOTIFY) {
        const auto* header = reinterpret_cast<const NMHDR*>(l);
        if (header->idFrom == IDC_CLIENTS && header->code == LVN_ITEMCHANGED) {
            if (!refreshing)
                EnableDisconnect();
            *result = TRUE;
            return true;
        }
    }
    return false;
}

}  // namespace tolvi
