// The console host's interrupts: each way the system asks it to end sets its stop signal, and
// where the system ends the process once the handler returns (closing the console window,
// logoff, shutdown), the handler waits until the host has stopped its connectors.
#include <gtest/gtest.h>

#include <atomic>
#include <csignal>
#include <thread>

#ifdef _WIN32
#include <windows.h>
#endif

#include "platform/Interrupt.h"
#include "support/TestClient.h"

namespace tolvi::test {
namespace {

#ifdef _WIN32
TEST(Interrupts, ClosingTheConsoleWaitsUntilTheHostHasStopped) {
    platform::WakeSignal stop;
    platform::CatchInterrupts(&stop);
    std::atomic<bool> returned{false};
    std::thread system([&] {
        platform::OnConsoleEvent(CTRL_CLOSE_EVENT);
        returned = true;
    });
    EXPECT_TRUE(WaitUntil([&] { return stop.IsSet(); }, 2000));
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_FALSE(returned) << "the process would have ended before its connectors stopped";
    platform::InterruptsHandled();
    EXPECT_TRUE(WaitUntil([&] { return returned.load(); }, 2000));
    system.join();
}
#else
TEST(Interrupts, TheTerminalGoingAwayStopsTheHost) {
    platform::WakeSignal stop;
    platform::CatchInterrupts(&stop);
    std::raise(SIGHUP);
    EXPECT_TRUE(stop.IsSet());
    stop.Reset();
    std::raise(SIGTERM);
    EXPECT_TRUE(stop.IsSet());
}
#endif

}  // namespace
}  // namespace tolvi::test
