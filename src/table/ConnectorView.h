// The connector list window: it shows the program's connectors (a ConnectorList, which owns
// them), one row each, mirrors every change of that list, and rewrites each row's live cells
// every second. The connector commands start here and run the flows of ConnectorCommands,
// for which this window supplies the dialogs, the boxes and the selection.
#pragma once
#include <cstdint>
#include <functional>
#include <set>
#include <string>

#include "model/ConnectorCommands.h"
#include "model/ConnectorList.h"
#include "service/ServiceStatus.h"
#include "ui/Controls.h"
#include "ui/RowTips.h"
#include "ui/Window.h"

namespace tolvi {

class ClientsDialog;

class ConnectorView : public ui::Window, private ConnectorListObserver, private CommandHost {
  public:
    // The widths of the columns before the description add up to this at 96 DPI.
    static constexpr int kFixedColumnsWidth = 485;
    // Their sum at dpi, each column scaled on its own as the list shows it.
    static int FixedColumnsWidth(UINT dpi);

    explicit ConnectorView(ConnectorList& connectors);
    ~ConnectorView() override;

    // windowName is UTF-8; className nullptr lets PreCreateWindow choose the view's class.
    BOOL Create(const wchar_t* className, const char* windowName, DWORD style, const RECT& rect,
                HWND parent, UINT id);
    BOOL DestroyWindow() override;
    void FitListToClient();
    // Sizes the columns and the row pictures for dpi (the window's when it was created): the
    // columns keep the widths the user gave them, in proportion.
    void SetDpi(UINT dpi);
    UINT Dpi() const { return dpi; }
    void RefreshRows();
    // The tolvi service's connectors, below the program's own: greyed, "(service)" after the
    // description, their live state as the service tells it. They are shown, not owned: the
    // commands on them say whose they are.
    void ShowServiceRows(const std::vector<service::ConnectorState>& rows);
    bool IsServiceRow(int row) const { return row >= connectors.Count(); }
    // What runs at every refresh, after the rows are written (the frame's own refresh).
    void SetRefreshHandler(std::function<void()> refresh) { onRefresh = std::move(refresh); }
    // What runs when another row is selected, or none (the frame's status bar follows it).
    void SetSelectionHandler(std::function<void()> changed) { onSelection = std::move(changed); }
    // Why row is in Error, as its tooltip tells it: its connector's error text, or the one
    // the service gives for its own; "" for a row that is not in Error and for row -1.
    std::string RowProblem(int row) const;
    // The row's tooltip: its problem, and the lines its alerts could not keep up with.
    std::string RowTipText(int row) const;
    // A console alert of the connector at that address: its row is marked until it is
    // selected (at once, when it is the selected row of a window in front of the user).
    void MarkAlert(uintptr_t connector);
    bool IsMarked(int row) const;

    ConnectorList& Connectors() { return connectors; }
    int GetRowCount() const;
    // The first selected row from the top, or -1.
    int GetSelectedRow() const;

    // What saves the whole configuration after a change: the main frame's SaveConfiguration.
    void SetSaveHandler(std::function<void()> save) { saveConfiguration = std::move(save); }
    // What the connectors that the commands build report to.
    void SetConnectorObserver(ConnectorObserver* observer) { connectorObserver = observer; }
    // Where the connectors the commands build record and write their audit trail.
    void SetConnectorPlaces(ConnectorPlaces places) { connectorPlaces = std::move(places); }

    // The connector commands, from menus, toolbar, context menus and double-click.
    LRESULT OnNewConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnEditConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnDeleteConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnResetConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnConsoleOptions(WPARAM = 0, LPARAM = 0);
    // The selected connector's clients, in a dialog that follows the list's refresh.
    LRESULT OnClients(WPARAM = 0, LPARAM = 0);
    LRESULT OnListRightClick(WPARAM, LPARAM);

    ui::ListView& List() { return listControl; }
    HMENU ContextMenu() const { return contextMenu.Handle(); }

  protected:
    bool PreCreateWindow(CREATESTRUCTW& cs) override;
    bool Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) override;

  private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    LRESULT OnCustomDraw(WPARAM, LPARAM);
    LRESULT OnItemChanged(WPARAM, LPARAM);
    // A double-click on a row's "Client IP" cell shows its clients; anywhere else, Edit.
    LRESULT OnListDoubleClick(WPARAM, LPARAM);
    // True, after telling the user why, when row is the service's.
    bool RefusedForService(int row, const char* why);
    void OpenClients(int row);
    void SetRowPictures();
    void WriteFixedCells(int row, const PipeConnector& connector);

    // The rows follow the list.
    bool OnRowAppended(int row, const PipeConnector& connector) override;
    void OnRowReplaced(int row, const PipeConnector& connector) override;
    void OnRowRemoved(int row) override;

    // What the commands need from the windows.
    int SelectedRow() const override { return GetSelectedRow(); }
    bool RunConnectorDialog(DialogKind kind, ConnectorSettings* settings,
                            const std::vector<RowKey>& rows, int skipRow) override;
    bool RunConsoleOptionsDialog(ConnectorSettings* settings) override;
    bool Ask(const std::string& text, BoxKind kind, const char* caption) override;
    void SaveConfiguration() override;
    ConnectorObserver* Observer() override { return connectorObserver; }
    ConnectorPlaces Places() override { return connectorPlaces; }

    ConnectorList& connectors;
    ConnectorCommands commands;
    ui::ListView listControl;
    ui::Menu contextMenu;
    ui::ImageList imageList;
    ui::RowTips rowTips;
    std::vector<service::ConnectorState> serviceStates;  // the service's rows as shown
    UINT dpi = 96;
    std::function<void()> saveConfiguration;
    std::function<void()> onRefresh;
    std::function<void()> onSelection;
    ConnectorObserver* connectorObserver = nullptr;
    ConnectorPlaces connectorPlaces;
    ClientsDialog* clientsShown = nullptr;  // while it is up, refreshed with the rows
    // The connectors whose rows are marked, by address; dropped with their rows.
    std::set<uintptr_t> alertMarks;
};

}  // namespace tolvi
