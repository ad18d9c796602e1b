// The connector list in a real window: its list control, rows that mirror the model, refresh
// and fitting.
#include <gtest/gtest.h>

#include "resource.h"
#include "support/LiveConnector.h"
#include "table/ConnectorView.h"
#include "ui/MessageBox.h"
#include "ui/WindowTestSupport.h"

namespace tolvi::test {
namespace {

class ConnectorViewTest : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(host.Create(900, 400));
        RECT empty{0, 0, 0, 0};
        ASSERT_TRUE(view.Create(nullptr, nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, empty,
                                host.Hwnd(), ID_FIRST_PANE));
        list = GetDlgItem(view.Hwnd(), IDC_CONNECTOR_LIST);
        ASSERT_NE(list, nullptr);
    }
    void TearDown() override {
        connectors.Clear();
        view.DestroyWindow();
    }

    std::string Cell(int row, int column) { return view.List().GetItemText(row, column); }
    void SizeView(int width, int height) {
        MoveWindow(view.Hwnd(), 0, 0, width, height, TRUE);
        view.FitListToClient();
    }
    // A connector that opens no port, so its status stays as built.
    std::unique_ptr<PipeConnector> Idle(const std::string& pipe) {
        return std::make_unique<PipeConnector>(pipe, "2323", "idle one");
    }

    HostWindow host;
    ConnectorList connectors;
    ConnectorView view{connectors};
    HWND list = nullptr;
};

TEST_F(ConnectorViewTest, ListHasItsColumnsStylesAndPictures) {
    const char* titles[] = {"Pipe name", "Port",   "Client IP",  "Sent",
                            "Recv",      "Status", "Description"};
    const int widths[] = {130, 50, 105, 65, 65, 70, 200};
    for (int i = 0; i < 7; ++i) {
        char title[64] = "";
        LVCOLUMNA c{};
        c.mask = LVCF_TEXT | LVCF_WIDTH;
        c.pszText = title;
        c.cchTextMax = sizeof title;
        ASSERT_TRUE(SendMessageA(list, LVM_GETCOLUMNA, i, reinterpret_cast<LPARAM>(&c)));
        EXPECT_STREQ(title, titles[i]);
        EXPECT_EQ(c.cx, widths[i]) << titles[i];
    }
    EXPECT_EQ(SendMessageA(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0), 0x69);
    LONG style = GetWindowLongA(list, GWL_STYLE);
    EXPECT_EQ(style & LVS_TYPEMASK, LVS_REPORT);
    EXPECT_TRUE(style & LVS_SINGLESEL);
    auto images =
        reinterpret_cast<HIMAGELIST>(SendMessageA(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0));
    ASSERT_NE(images, nullptr);
    EXPECT_EQ(ImageList_GetImageCount(images), 2);
    EXPECT_TRUE(GetWindowLongA(view.Hwnd(), GWL_EXSTYLE) & WS_EX_CLIENTEDGE);
    EXPECT_FALSE(GetWindowLongA(view.Hwnd(), GWL_STYLE) & WS_BORDER);
    ASSERT_NE(view.ContextMenu(), nullptr);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(view.ContextMenu(), 0)), 7);
    EXPECT_EQ(GetMenuItemCount(GetSubMenu(view.ContextMenu(), 2)), 4);
}

TEST_F(ConnectorViewTest, AppendedRowShowsZerosUntilTheNextTick) {
    EXPECT_EQ(view.GetRowCount(), 0);
    view.RefreshRows();  // an empty list: nothing to do
    auto connector = std::make_unique<PipeConnector>("\\\\.\\pipe\\first", "0080", "the first");
    int row = connectors.Append(std::move(connector));
    EXPECT_EQ(row, 0);
    EXPECT_EQ(view.GetRowCount(), 1);
    EXPECT_EQ(Cell(0, 0), "\\\\.\\pipe\\first");
    EXPECT_EQ(Cell(0, 1), "0080");
    EXPECT_EQ(Cell(0, 2), "");
    EXPECT_EQ(Cell(0, 3), "0");
    EXPECT_EQ(Cell(0, 4), "0");
    EXPECT_EQ(Cell(0, 5), "");
    EXPECT_EQ(Cell(0, 6), "the first");
    EXPECT_EQ(connectors.Append(Idle("\\\\.\\pipe\\second")), 1);
    EXPECT_EQ(Cell(1, 1), "2323");

    // The refresh, which the timer asks for every second, rewrites the live cells.
    SendMessageW(view.Hwnd(), WM_TIMER, 1, 0);
    EXPECT_EQ(Cell(0, 5), "Initialization");
    EXPECT_EQ(Cell(1, 5), "Initialization");
    EXPECT_EQ(view.List().GetItemImage(0), 0);
    EXPECT_EQ(view.GetSelectedRow(), -1);
}

TEST_F(ConnectorViewTest, TickShowsAConnectedClientAndItsCounts) {
    LiveConnector live;
    ASSERT_TRUE(live.Start());
    connectors.Append(std::move(live.connector));
    PipeConnector* c = &connectors.At(0);
    EXPECT_TRUE(RefreshUntil(view.Hwnd(), [&] { return Cell(0, 5) == "Ready"; }));

    TestClient client;
    ASSERT_TRUE(client.Connect(c->GetListenPort()));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(live.PipeWrite(std::string(2000, 'x')));
    EXPECT_EQ(client.ReadCount(44 + 2000, 5000).size(), 44u + 2000u);
    EXPECT_TRUE(RefreshUntil(view.Hwnd(), [&] { return Cell(0, 3) == "1.9 KB"; })) << Cell(0, 3);
    EXPECT_EQ(Cell(0, 5), "Connected");
    EXPECT_EQ(Cell(0, 2), "127.0.0.1");
    EXPECT_EQ(view.List().GetItemImage(0), 1);

    client.Close();
    EXPECT_TRUE(
        RefreshUntil(view.Hwnd(), [&] { return Cell(0, 2).empty() && Cell(0, 5) == "Ready"; }));
    EXPECT_EQ(view.List().GetItemImage(0), 0);
    EXPECT_EQ(Cell(0, 3), "0");
    c->StopAndWait();
}

TEST_F(ConnectorViewTest, DescriptionTakesTheWidthBeyond485Pixels) {
    SizeView(600, 300);
    RECT client;
    GetClientRect(view.Hwnd(), &client);
    ASSERT_GT(client.right, 485);
    EXPECT_EQ(view.List().GetColumnWidth(6), client.right - 485);
    RECT listRect;
    GetClientRect(list, &listRect);
    EXPECT_EQ(listRect.right, client.right);

    SizeView(485, 300);  // client narrower than 485 now: the column keeps its width
    int kept = view.List().GetColumnWidth(6);
    SizeView(300, 300);
    EXPECT_EQ(view.List().GetColumnWidth(6), kept);
}

TEST_F(ConnectorViewTest, RefreshRunsInsideAModalBox) {
    connectors.Append(Idle("\\\\.\\pipe\\held"));
    SeenWindow seen;
    std::string statusInTheBox;
    std::thread answer = AnswerDialog("tolvi4", 5000, &seen, [&](HWND box) {
        // A tick while the box is up: the box's own loop runs the refresh.
        PostMessageW(view.Hwnd(), WM_TIMER, 1, 0);
        WaitUntil([&] { return !(statusInTheBox = Cell(0, 5)).empty(); }, 3000);
        PressButton(box, IDOK);
    });
    ui::AppMessageBox(view.Hwnd(), "A box");  // as a command shows them
    answer.join();
    EXPECT_TRUE(seen.found);
    EXPECT_EQ(seen.text, "A box");
    EXPECT_TRUE(seen.hasIcon) << "an OK box that names no icon gets the exclamation";
    EXPECT_EQ(statusInTheBox, "Initialization");
}

TEST_F(ConnectorViewTest, RowsFollowTheModelThroughReplaceAndRemove) {
    connectors.Append(Idle("\\\\.\\pipe\\one"));
    connectors.Append(Idle("\\\\.\\pipe\\two"));
    connectors.Append(Idle("\\\\.\\pipe\\three"));
    connectors.Replace(1, std::make_unique<PipeConnector>("\\\\.\\pipe\\new", "99", "swapped"));
    EXPECT_EQ(Cell(1, 0), "\\\\.\\pipe\\new");
    EXPECT_EQ(Cell(1, 1), "99");
    EXPECT_EQ(Cell(1, 6), "swapped");
    connectors.Remove(0);
    ASSERT_EQ(view.GetRowCount(), 2);
    EXPECT_EQ(Cell(0, 0), "\\\\.\\pipe\\new");
    EXPECT_EQ(Cell(1, 0), "\\\\.\\pipe\\three");
}

}  // namespace
}  // namespace tolvi::test
