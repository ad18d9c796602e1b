// The row texts: byte counts at every boundary, status words, client cell, picture and the
// reason a row in Error gives.
#include <gtest/gtest.h>

#include "engine/ConnectorStatus.h"
#include "model/RowText.h"

namespace tolvi {
namespace {

TEST(RowText, ByteCountsAtEveryBoundary) {
    const std::pair<uint64_t, const char*> table[] = {
        {0, "0"},
        {1023, "1023"},
        {1024, "1.0 KB"},
        {1034, "1.0 KB"},
        {1126, "1.0 KB"},
        {1127, "1.1 KB"},
        {1536, "1.5 KB"},
        {2047, "1.9 KB"},
        {1048576, "1024.0 KB"},
        {1048577, "1.0 MB"},
        {1572864, "1.5 MB"},
        {2097151, "1.9 MB"},
        {1073741824, "1024.0 MB"},
        {1073741825, "1.0 GB"},
        {1610612736, "1.5 GB"},
        {2147483647, "1.9 GB"},
        {5ull * 1073741824 + 536870912, "5.5 GB"},
        {UINT64_MAX, "17179869183.9 GB"},
    };
    for (const auto& row : table)
        EXPECT_EQ(FormatByteCount(row.first), row.second) << row.first;
}

TEST(RowText, CellsFollowTheConnector) {
    RowCells idle = DecideRowCells(Ready, "", 0, 0);
    EXPECT_EQ(idle.status, "Ready");
    EXPECT_EQ(idle.client, "");
    EXPECT_EQ(idle.sent, "0");
    EXPECT_EQ(idle.received, "0");
    EXPECT_EQ(idle.picture, kPictureNoClient);

    RowCells busy = DecideRowCells(Connected, "127.0.0.1", 1536, 1048577);
    EXPECT_EQ(busy.status, "Connected");
    EXPECT_EQ(busy.client, "127.0.0.1");
    EXPECT_EQ(busy.sent, "1.5 KB");
    EXPECT_EQ(busy.received, "1.0 MB");
    EXPECT_EQ(busy.picture, kPictureClient);

    // The picture follows the client address alone, not the status.
    EXPECT_EQ(DecideRowCells(AttachingPipe, "10.0.0.5", 0, 0).picture, kPictureClient);
    EXPECT_EQ(DecideRowCells(Connected, "", 0, 0).picture, kPictureNoClient);
    EXPECT_EQ(DecideRowCells(7, "", 0, 0).status, "Unknown");
    EXPECT_EQ(DecideRowCells(Error, "", 0, 0).status, "Error");
    EXPECT_EQ(DecideRowCells(Ready, "", -5, -1).sent, "0");
}

TEST(RowText, OnlyARowInErrorTellsItsErrorText) {
    EXPECT_EQ(RowProblem("Error", "Bind call failed"), "Bind call failed");
    EXPECT_EQ(RowProblem("Connected", "Could not write the log file"), "");
}

TEST(RowText, TheTooltipAddsTheLinesTheAlertsCouldNotKeepUpWith) {
    EXPECT_EQ(RowTip("Bind call failed", 0), "Bind call failed");
    EXPECT_EQ(RowTip("", 1234567),
              "Alerts: 1,234,567 lines not matched, the console is faster than its patterns");
    EXPECT_EQ(RowTip("Bind call failed", 1),
              "Bind call failed\r\nAlerts: 1 line not matched, the console is faster than its "
              "patterns");
}

}  // namespace
}  // namespace tolvi
