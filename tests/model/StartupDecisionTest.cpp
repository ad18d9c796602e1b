// Start-up decisions: the command line, the tray start, a second instance.
#include <gtest/gtest.h>

#include "model/StartupDecision.h"

namespace tolvi {
namespace {

TEST(StartupDecision, CommandLineTailSkipsTheProgramPath) {
    EXPECT_EQ(CommandLineTail("\"C:\\Program Files\\tolvi\\tolvi.exe\" /minimized"), "/minimized");
    EXPECT_EQ(CommandLineTail("C:\\tolvi\\tolvi.exe   /minimized x"), "/minimized x");
    EXPECT_EQ(CommandLineTail("tolvi.exe"), "");
    EXPECT_EQ(CommandLineTail("  \"tolvi.exe\""), "");
    EXPECT_EQ(CommandLineTail("\"unterminated /minimized"), "");
}

TEST(StartupDecision, TrayStartIsACaseSensitiveSubstring) {
    EXPECT_TRUE(WantsTrayStart("/minimized"));
    EXPECT_TRUE(WantsTrayStart("-minimized"));
    EXPECT_TRUE(WantsTrayStart("/startminimizedplease"));
    EXPECT_FALSE(WantsTrayStart("/Minimized"));
    EXPECT_FALSE(WantsTrayStart("/minimised"));
    EXPECT_FALSE(WantsTrayStart(""));
}

TEST(StartupDecision, SecondInstanceBringsTheFirstForward) {
    SecondInstanceAction none = DecideSecondInstance(false, true);
    EXPECT_FALSE(none.bringToFront);
    EXPECT_FALSE(none.restore);
    SecondInstanceAction visible = DecideSecondInstance(true, false);
    EXPECT_TRUE(visible.bringToFront);
    EXPECT_FALSE(visible.restore);  // a window hidden in the tray is not minimised: stays hidden
    SecondInstanceAction minimised = DecideSecondInstance(true, true);
    EXPECT_TRUE(minimised.bringToFront);
    EXPECT_TRUE(minimised.restore);
}

}  // namespace
}  // namespace tolvi
