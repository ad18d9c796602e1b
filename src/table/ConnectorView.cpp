// The connector list window.
#include "table/ConnectorView.h"

#include <iterator>

#include "resource.h"
#include "dialogs/ClientsDialog.h"
#include "engine/ConnectorStatus.h"
#include "model/RowText.h"
#include "ui/Dpi.h"

namespace tolvi {
namespace {

constexpr UINT_PTR kRefreshTimer = 1;
constexpr UINT kRefreshMs = 1000;

struct Column {
    const char* title;
    int width;
};
constexpr Column kColumns[] = {{"Pipe name", 130},  {"Port", 50}, {"Client IP", 105},
                               {"Sent", 65},        {"Recv", 65}, {"Status", 70},
                               {"Description", 200}};
enum { kColPipe, kColPort, kColClient, kColSent, kColRecv, kColStatus, kColDescription };
static_assert(kColumns[0].width + kColumns[1].width + kColumns[2].width + kColumns[3].width +
                      kColumns[4].width + kColumns[5].width ==
                  ConnectorView::kFixedColumnsWidth,
              "the fixed columns add up to the width the description is fitted against");

HICON SmallIcon(int id, int size) {
    return static_cast<HICON>(
        LoadImageW(ui::AppInstance(), MAKEINTRESOURCEW(id), IMAGE_ICON, size, size, LR_SHARED));
}

}  // namespace

int ConnectorView::FixedColumnsWidth(UINT dpi) {
    int sum = 0;
    for (int i = 0; i < kColDescription; ++i)
        sum += ui::Scale(kColumns[i].width, dpi);
    return sum;
}

ConnectorView::ConnectorView(ConnectorList& connectors)
    : connectors(connectors), commands(connectors, *this) {
    connectors.SetObserver(this);
}

ConnectorView::~ConnectorView() {
    connectors.SetObserver(nullptr);
}

bool ConnectorView::PreCreateWindow(CREATESTRUCTW& cs) {
    if (!Window::PreCreateWindow(cs))
        return false;
    cs.dwExStyle |= WS_EX_CLIENTEDGE;
    cs.style &= ~WS_BORDER;
    cs.lpszClass = ui::RegisterWindowClass(CS_DBLCLKS | CS_HREDRAW | CS_VREDRAW,
                                           LoadCursorW(nullptr, IDC_ARROW),
                                           reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1), nullptr);
    return true;
}

BOOL ConnectorView::Create(const wchar_t* className, const char* windowName, DWORD style,
                           const RECT& rect, HWND parent, UINT id) {
    if (!CreateEx(0, className, windowName, style, rect, parent, id))
        return FALSE;
    ui::InitCommonControlsOnce();
    // What follows may fail without stopping the view; a list that is missing shows as such.
    HWND list = CreateWindowExW(
        0, WC_LISTVIEWW, L"", WS_CHILD | WS_VISIBLE | LVS_REPORT | LVS_SINGLESEL, 0, 0, 0, 0,
        Hwnd(), reinterpret_cast<HMENU>(IDC_CONNECTOR_LIST), ui::AppInstance(), nullptr);
    listControl.Attach(list);
    listControl.SetExtendedStyle(
        LVS_EX_GRIDLINES | LVS_EX_TRACKSELECT | LVS_EX_FULLROWSELECT | LVS_EX_ONECLICKACTIVATE,
        0xFFFFFFFF);
    dpi = ui::WindowDpi(Hwnd());
    for (int i = 0; i < 7; ++i)
        listControl.InsertColumn(i, kColumns[i].title, ui::Scale(kColumns[i].width, dpi));
    SetRowPictures();
    rowTips.Attach(list, [this](int row) { return RowTipText(row); });
    SetTimer(Hwnd(), kRefreshTimer, kRefreshMs, nullptr);
    contextMenu.Load(IDR_CONTEXT_MENUS);
    return TRUE;
}

BOOL ConnectorView::DestroyWindow() {
    KillTimer(Hwnd(), kRefreshTimer);
    rowTips.Detach();
    contextMenu.Destroy();
    return Window::DestroyWindow();
}

void ConnectorView::SetRowPictures() {
    const int size = ui::Scale(16, dpi);
    if (!imageList.Create(size, size, ILC_COLOR16, 0, 4))
        return;
    imageList.SetBkColor(RGB(255, 255, 255));
    imageList.AddIcon(SmallIcon(IDI_NO_CLIENT, size));
    imageList.AddIcon(SmallIcon(IDI_CLIENT_ATTACHED, size));
    HIMAGELIST old = listControl.SetSmallImageList(imageList.Handle());
    imageList.Detach();  // the list destroys its image lists with itself
    if (old)
        ImageList_Destroy(old);  // but not one that it was given before this one
}

void ConnectorView::SetDpi(UINT newDpi) {
    if (newDpi == dpi || newDpi == 0)
        return;
    for (int i = 0; i < kColDescription; ++i) {
        // A column the user left alone gets its own width again, so that rounding does not
        // creep in over several changes; one the user sized keeps its share.
        int width = listControl.GetColumnWidth(i);
        width = width == ui::Scale(kColumns[i].width, dpi)
                    ? ui::Scale(kColumns[i].width, newDpi)
                    : MulDiv(width, static_cast<int>(newDpi), static_cast<int>(dpi));
        listControl.SetColumnWidth(i, width);
    }
    dpi = newDpi;
    SetRowPictures();
    FitListToClient();
}

void ConnectorView::FitListToClient() {
    if (!Hwnd() || !listControl.Hwnd())
        return;
    RECT client;
    GetClientRect(Hwnd(), &client);
    MoveWindow(listControl.Hwnd(), 0, 0, client.right, client.bottom, TRUE);
    const int fixed = FixedColumnsWidth(dpi);
    if (client.right > fixed) {
        listControl.SetColumnWidth(kColDescription, client.right - fixed);
    }
}

void ConnectorView::WriteFixedCells(int row, const PipeConnector& c) {
    listControl.SetItemText(row, kColPipe, c.GetPipeName());
    listControl.SetItemText(row, kColPort, c.GetPortText());
    listControl.SetItemText(row, kColSent, "0");
    listControl.SetItemText(row, kColRecv, "0");
    listControl.SetItemText(row, kColDescription, c.GetDescription());
}

bool ConnectorView::OnRowAppended(int row, const PipeConnector& connector) {
    // The live cells and the picture come with the next refresh.
    if (listControl.InsertItem(row, connector.GetPipeName()) != row)
        return false;
    WriteFixedCells(row, connector);
    return true;
}

void ConnectorView::OnRowReplaced(int row, const PipeConnector& connector) {
    WriteFixedCells(row, connector);  // the row keeps its place and its selection
}

void ConnectorView::OnRowRemoved(int row) {
    listControl.DeleteItem(row);
}

void ConnectorView::RefreshRows() {
    for (int i = 0; i < connectors.Count() && i < listControl.GetItemCount(); ++i) {
        const PipeConnector& c = connectors.At(i);
        std::string client = c.GetClientAddress();
        RowCells cells =
            DecideRowCells(c.GetStatus(), client, c.GetBytesSent(), c.GetBytesReceived(),
                           c.WaitsForMachine());
        listControl.SetItemText(i, kColStatus, cells.status);
        listControl.SetItemText(i, kColClient, cells.client);
        listControl.SetItemText(i, kColSent, cells.sent);
        listControl.SetItemText(i, kColRecv, cells.received);
        listControl.SetItemImage(i, cells.picture);
    }
    for (auto mark = alertMarks.begin(); mark != alertMarks.end();) {
        bool kept = false;
        for (int i = 0; i < connectors.Count() && !kept; ++i)
            kept = reinterpret_cast<uintptr_t>(&connectors.At(i)) == *mark;
        mark = kept ? std::next(mark) : alertMarks.erase(mark);
    }
}

void ConnectorView::MarkAlert(uintptr_t connector) {
    for (int i = 0; i < connectors.Count(); ++i) {
        if (reinterpret_cast<uintptr_t>(&connectors.At(i)) != connector)
            continue;
        HWND frame = GetAncestor(Hwnd(), GA_ROOT);
        if (i == GetSelectedRow() && IsWindowVisible(frame) && GetForegroundWindow() == frame)
            return;  // seen as it comes
        alertMarks.insert(connector);
        SendMessageW(listControl.Hwnd(), LVM_REDRAWITEMS, i, i);
        return;
    }
}

bool ConnectorView::IsMarked(int row) const {
    return row >= 0 && row < connectors.Count() &&
           alertMarks.count(reinterpret_cast<uintptr_t>(&connectors.At(row))) != 0;
}

void ConnectorView::ShowServiceRows(const std::vector<service::ConnectorState>& rows) {
    serviceStates = rows;
    const int first = connectors.Count();
    int shown = listControl.GetItemCount() - first;
    while (shown > static_cast<int>(rows.size()))
        listControl.DeleteItem(first + --shown);
    while (shown < static_cast<int>(rows.size())) {
        if (listControl.InsertItem(first + shown, "") != first + shown)
            return;
        ++shown;
    }
    for (int i = 0; i < shown; ++i) {
        const service::ConnectorState& s = rows[static_cast<size_t>(i)];
        const int row = first + i;
        listControl.SetItemText(row, kColPipe, s.pipe);
        listControl.SetItemText(row, kColPort, s.port);
        listControl.SetItemText(row, kColClient, s.clients);
        listControl.SetItemText(row, kColSent, FormatByteCount(s.sent > 0 ? uint64_t(s.sent) : 0));
        listControl.SetItemText(row, kColRecv,
                                FormatByteCount(s.received > 0 ? uint64_t(s.received) : 0));
        listControl.SetItemText(row, kColStatus, s.status);
        listControl.SetItemText(row, kColDescription, s.description + " (service)");
        listControl.SetItemImage(row, s.clients.empty() ? kPictureNoClient : kPictureClient);
    }
}

LRESULT ConnectorView::OnCustomDraw(WPARAM, LPARAM l) {
    auto* draw = reinterpret_cast<NMLVCUSTOMDRAW*>(l);
    if (draw->nmcd.dwDrawStage == CDDS_PREPAINT)
        return CDRF_NOTIFYITEMDRAW;
    if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT &&
        IsServiceRow(static_cast<int>(draw->nmcd.dwItemSpec))) {
        draw->clrText = GetSysColor(COLOR_GRAYTEXT);  // shown, but not the program's to change
    } else if (draw->nmcd.dwDrawStage == CDDS_ITEMPREPAINT &&
               IsMarked(static_cast<int>(draw->nmcd.dwItemSpec))) {
        draw->clrTextBk = RGB(255, 214, 140);  // an alert nobody has looked at yet
    }
    return CDRF_DODEFAULT;
}

bool ConnectorView::RefusedForService(int row, const char* why) {
    if (row < 0 || !IsServiceRow(row))
        return false;
    Ask(why, BoxKind::OkInformation, nullptr);
    return true;
}

LRESULT ConnectorView::OnListDoubleClick(WPARAM, LPARAM l) {
    // The cell is found from where the click landed: not every list fills in the
    // notification's own column.
    LVHITTESTINFO hit{};
    hit.pt = reinterpret_cast<const NMITEMACTIVATE*>(l)->ptAction;
    SendMessageW(listControl.Hwnd(), LVM_SUBITEMHITTEST, 0, reinterpret_cast<LPARAM>(&hit));
    if (hit.iItem >= 0 && hit.iSubItem == kColClient && (hit.flags & LVHT_ONITEM))
        OpenClients(hit.iItem);
    else
        OnEditConnector();  // on the selected row, wherever the click landed
    return 0;
}

std::string ConnectorView::RowProblem(int row) const {
    if (row < 0)
        return "";
    if (row < connectors.Count()) {
        const PipeConnector& c = connectors.At(row);
        return tolvi::RowProblem(StatusWord(c.GetStatus()), c.GetErrorText());
    }
    const size_t i = static_cast<size_t>(row - connectors.Count());
    return i < serviceStates.size()
               ? tolvi::RowProblem(serviceStates[i].status, serviceStates[i].error)
               : "";
}

std::string ConnectorView::RowTipText(int row) const {
    const uint64_t skipped =
        row >= 0 && row < connectors.Count() ? connectors.At(row).AlertLinesSkipped() : 0;
    return tolvi::RowTip(RowProblem(row), skipped);
}

LRESULT ConnectorView::OnItemChanged(WPARAM, LPARAM l) {
    const auto* change = reinterpret_cast<const NMLISTVIEW*>(l);
    if ((change->uChanged & LVIF_STATE) &&
        ((change->uNewState ^ change->uOldState) & LVIS_SELECTED)) {
        if ((change->uNewState & LVIS_SELECTED) && IsMarked(change->iItem)) {
            alertMarks.erase(reinterpret_cast<uintptr_t>(&connectors.At(change->iItem)));
            SendMessageW(listControl.Hwnd(), LVM_REDRAWITEMS, change->iItem, change->iItem);
        }
        if (onSelection)
            onSelection();
    }
    return 0;
}

int ConnectorView::GetRowCount() const {
    return listControl.GetItemCount();
}

int ConnectorView::GetSelectedRow() const {
    return listControl.GetNextSelected(-1);
}

LRESULT ConnectorView::OnPaint(WPARAM, LPARAM) {
    PAINTSTRUCT ps;
    BeginPaint(Hwnd(), &ps);
    EndPaint(Hwnd(), &ps);
    return 0;
}

LRESULT ConnectorView::OnTimer(WPARAM, LPARAM) {
    RefreshRows();
    if (onRefresh)
        onRefresh();
    rowTips.Refresh();  // after the frame's refresh, which brings the service's rows
    if (clientsShown)
        clientsShown->Refresh();
    return 0;
}

bool ConnectorView::Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) {
    static const ui::MessageEntry<ConnectorView> kMessages[] = {
        ui::OnMessage(WM_PAINT, &ConnectorView::OnPaint),
        ui::OnMessage(WM_TIMER, &ConnectorView::OnTimer),
        ui::OnNotify(IDC_CONNECTOR_LIST, NM_DBLCLK, &ConnectorView::OnListDoubleClick),
        ui::OnNotify(IDC_CONNECTOR_LIST, NM_RCLICK, &ConnectorView::OnListRightClick),
        ui::OnNotify(IDC_CONNECTOR_LIST, NM_CUSTOMDRAW, &ConnectorView::OnCustomDraw),
        ui::OnNotify(IDC_CONNECTOR_LIST, LVN_ITEMCHANGED, &ConnectorView::OnItemChanged),
        ui::OnCommand(ID_CONNECTOR_NEW, &ConnectorView::OnNewConnector),
        ui::OnCommand(ID_CONNECTOR_EDIT, &ConnectorView::OnEditConnector),
        ui::OnCommand(ID_CONNECTOR_DELETE, &ConnectorView::OnDeleteConnector),
        ui::OnCommand(ID_CONNECTOR_RESET, &ConnectorView::OnResetConnector),
        ui::OnCommand(ID_CONNECTOR_CONSOLE, &ConnectorView::OnConsoleOptions),
        ui::OnCommand(ID_CONNECTOR_CLIENTS, &ConnectorView::OnClients),
    };
    return ui::DispatchFrom(this, kMessages, msg, w, l, result) ||
           Window::Dispatch(msg, w, l, result);
}

}  // namespace tolvi
