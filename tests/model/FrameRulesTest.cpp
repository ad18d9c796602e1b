// The command table, the close rule and the tray icon's presses.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "model/FrameRules.h"

namespace tolvi {
namespace {

TEST(FrameRules, SixToolbarButtonsInTheirOrder) {
    int count = 0;
    const CommandInfo* table = CommandTable(&count);
    ASSERT_EQ(count, 12);
    std::set<int> buttons;
    for (int i = 0; i < count; ++i) {
        if (table[i].toolbarButton)
            buttons.insert(table[i].toolbarButton);
    }
    EXPECT_EQ(buttons, (std::set<int>{1, 2, 3, 4, 5, 6}));
    EXPECT_EQ(FindCommand(32787)->toolbarButton, 3);
    EXPECT_EQ(FindCommand(32781)->toolbarButton, 6);
    EXPECT_EQ(FindCommand(57664)->toolbarButton, 0);
    EXPECT_EQ(FindCommand(32790)->toolbarButton, 0);  // Console options: menus only
    EXPECT_EQ(FindCommand(12345), nullptr);
}

TEST(FrameRules, CloseRule) {
    EXPECT_EQ(DecideClose(false, false), CloseAction::EndProgram);
    EXPECT_EQ(DecideClose(false, true), CloseAction::GoToTray);
    EXPECT_EQ(DecideClose(true, true), CloseAction::EndProgram);
    EXPECT_EQ(DecideClose(true, false), CloseAction::EndProgram);
}

TEST(FrameRules, OnlyPressesOnTheTrayIconAct) {
    EXPECT_EQ(DecideTrayNotify(0x201), TrayAction::Restore);   // left button down
    EXPECT_EQ(DecideTrayNotify(0x204), TrayAction::ShowMenu);  // right button down
    for (uint32_t other : {0x200u, 0x202u, 0x203u, 0x205u, 0x206u, 0x207u, 0x208u}) {
        EXPECT_EQ(DecideTrayNotify(other), TrayAction::None) << other;
    }
}

}  // namespace
}  // namespace tolvi
