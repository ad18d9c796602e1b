// The connector list window: one row per connector, whose live cells are rewritten every
// second. Its rows are the program's one list of connectors, and each owns its connector.
#pragma once
#include <functional>
#include <memory>
#include <string>

#include "config/ConfigurationStore.h"
#include "engine/PipeConnector.h"
#include "ui/Controls.h"
#include "ui/RecursiveLock.h"
#include "ui/Window.h"

namespace tolvi {

class ConnectorView : public ui::Window, public ConnectorRows {
  public:
    // The widths of the columns before the description add up to this at 96 DPI.
    static constexpr int kFixedColumnsWidth = 485;
    // Their sum at dpi, each column scaled on its own as the list shows it.
    static int FixedColumnsWidth(UINT dpi);

    ConnectorView() = default;
    // The rows' connectors are left running: they end with the process, and stopping each
    // would hold up the exit by up to half a second.
    ~ConnectorView() override;

    BOOL Create(const char* className, const char* windowName, DWORD style, const RECT& rect,
                HWND parent, UINT id);
    BOOL DestroyWindow() override;
    void FitListToClient();
    // Sizes the columns and the row pictures for dpi (the window's when it was created): the
    // columns keep the widths the user gave them, in proportion.
    void SetDpi(UINT dpi);
    UINT Dpi() const { return dpi; }
    int AppendConnectorRow(std::unique_ptr<PipeConnector> connector, const std::string& pipeName,
                           const std::string& portText, const std::string& description) override;
    void RefreshRows();

    int GetRowCount() const override;
    // The first selected row from the top, or -1.
    int GetSelectedRow() const;
    PipeConnector* GetRowConnector(int row) const override;

    // What saves the whole configuration after a change: the main frame's SaveConfiguration.
    void SetSaveHandler(std::function<void()> save) { saveConfiguration = std::move(save); }

    // The connector commands, from menus, toolbar, context menus and double-click.
    LRESULT OnNewConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnEditConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnDeleteConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnResetConnector(WPARAM = 0, LPARAM = 0);
    LRESULT OnListRightClick(WPARAM, LPARAM);

    ui::RecursiveLock& Lock() { return lock; }
    ui::ListView& List() { return listControl; }
    HMENU ContextMenu() const { return contextMenu.Handle(); }

  protected:
    bool PreCreateWindow(CREATESTRUCTA& cs) override;
    bool Dispatch(UINT msg, WPARAM w, LPARAM l, LRESULT* result) override;

  private:
    LRESULT OnPaint(WPARAM, LPARAM);
    LRESULT OnTimer(WPARAM, LPARAM);
    void SaveConfiguration();
    int Ask(const std::string& text, UINT type, const char* caption);
    void SetRowPictures();

    ui::ListView listControl;
    UINT_PTR refreshTimerId = 0;
    ui::Menu contextMenu;
    ui::ImageList imageList;
    UINT dpi = 96;
    ui::RecursiveLock lock;
    std::function<void()> saveConfiguration;
};

}  // namespace tolvi
