// The close rule and the tray icon's presses.
#include <gtest/gtest.h>

#include "model/FrameRules.h"

namespace tolvi {
namespace {

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
