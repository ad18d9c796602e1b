// Alerts on what a console prints: a line that matches is told once for its pattern in ten
// seconds (the rest counted), as the console wrote it but for its escape sequences, with
// nobody connected; a prompt that ends no line is matched once the console is quiet; and the
// alert's command gets the line in its environment, where no shell reads it as code.
#include <gtest/gtest.h>

#include <chrono>
#include <fstream>
#include <sstream>

#include "engine/AlertPatterns.h"
#include "engine/AlertWatcher.h"
#include "support/LiveConnector.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace tolvi::test {
namespace {

using std::chrono::seconds;

std::vector<std::string> ConsoleAlerts(const RecordingObserver& seen) {
    std::vector<std::string> told;
    for (const std::string& e : seen.Events()) {
        if (e.rfind("console alert ", 0) == 0)
            told.push_back(e.substr(14));
    }
    return told;
}

TEST(ConsoleAlerts, EachPatternIsToldOnceInTenSecondsAndTheRestCounted) {
    AlertLimiter limiter(2);
    const AlertLimiter::Clock::time_point t0 = AlertLimiter::Clock::now();
    int more = -1;
    EXPECT_TRUE(limiter.Tell(0, t0, &more));
    EXPECT_EQ(more, 0);
    EXPECT_FALSE(limiter.Tell(0, t0 + seconds(1), &more));
    EXPECT_FALSE(limiter.Tell(0, t0 + seconds(9), &more));
    EXPECT_TRUE(limiter.Tell(1, t0 + seconds(9), &more));  // another pattern's own time
    EXPECT_EQ(more, 0);
    EXPECT_TRUE(limiter.Tell(0, t0 + seconds(10), &more));
    EXPECT_EQ(more, 2);
    EXPECT_FALSE(limiter.Tell(0, t0 + seconds(11), &more));
    EXPECT_TRUE(limiter.Tell(0, t0 + seconds(20), &more));
    EXPECT_EQ(more, 1);  // counted since the last told, not since the first
}

// What every match must hold is looked for before the regex runs: it must never pass over a
// line that the regex would match.
TEST(ConsoleAlerts, TheLookBeforeTheRegexNeverMissesAMatch) {
    const std::string patterns =
        "(?i)kernel panic\nOops: [0-9a-f]+\nBUG: \nlogin: $\nsegfault at [0-9a-f]+\n"
        "STOP: 0x[0-9A-F]{8}\nab?cdef\nabcd?e\nx(yz)?wvu\nerr(or)+ found\nfoo\\x41bar\n"
        "call trace|oops\n(?i)\\bwatchdog\\b.*stuck\ntime{2,3}out\n[]a]bcd\nq\\.rst\n"
        "(?i)\xc3\xa9" "chec total";
    std::vector<AlertPattern> compiled;
    ASSERT_EQ(CompileAlertPatterns(patterns, &compiled), "");
    EXPECT_EQ(compiled[0].required, "kernel panic");
    EXPECT_EQ(compiled[6].required, "cdef");
    const std::vector<std::string> lines = {
        "[ 1.0] Kernel PANIC - not syncing", "Oops: 0002 [#1] SMP", "BUG: unable to handle",
        "guest login: ", "app[12]: segfault at 7f00 ip", "*** STOP: 0x0000007B (0xF78D2524)",
        "acdef", "abcdef", "abce", "xwvu", "xyzwvu", "error found", "erroror found", "fooAbar",
        "a call trace", "OOPS", "oops", "WatchDog: CPU#3 stuck", "timeeout", "timeeeout",
        "]bcd", "abcd", "q.rst", "qxrst", "\xc3\xa9" "chec TOTAL", "\xc3\x89" "CHEC total", ""};
    for (const AlertPattern& p : compiled) {
        for (const std::string& line : lines)
            EXPECT_EQ(MatchesAlert(p, line), std::regex_search(line, p.regex))
                << p.text << " on " << line << " (looks for '" << p.required << "')";
    }
}

TEST(ConsoleAlerts, ALineThatMatchesIsToldPlainWithNobodyConnectedAndAPromptOnceQuiet) {
    LiveConnector live;
    live.options.alerts = "(?i)kernel panic\nlogin: $";
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));  // opened for the alerts alone
    ASSERT_TRUE(live.PipeWrite("\x1b[1;31mKernel PANIC\x1b[0m - not syncing\r\n"
                               "kernel panic again\r\nKERNEL PANIC once more\r\n"
                               "Debian GNU/Linux 12\r\n\r\nguest login: "));
    ASSERT_TRUE(WaitUntil([&] { return ConsoleAlerts(live.seen).size() >= 2; }, 5000));
    EXPECT_EQ(ConsoleAlerts(live.seen),
              (std::vector<std::string>{"(?i)kernel panic: Kernel PANIC - not syncing +0",
                                        "login: $: guest login:  +0"}));
    ConsoleAlert last;
    ASSERT_TRUE(live.connector->LastAlert(&last));
    EXPECT_EQ(last.line, "guest login: ");
}

#ifndef _WIN32
TEST(ConsoleAlerts, TheCommandGetsTheLineInItsEnvironmentAndNoShellRunsIt) {
    const std::string dir = "/tmp/tolvi-alert-" + std::to_string(getpid());
    ASSERT_EQ(system(("rm -rf " + dir + " && mkdir " + dir).c_str()), 0);
    LiveConnector live;
    live.options.alerts = "panic";
    live.options.alertCommand = "sh -c 'printf \"%s|%s|%s|%s|%s\" \"$TOLVI_PORT\" "
                                "\"$TOLVI_PIPE\" \"$TOLVI_DESCRIPTION\" \"$TOLVI_PATTERN\" "
                                "\"$TOLVI_LINE\" > " + dir + "/told'";
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    const std::string line = "panic $(touch " + dir + "/ran); touch " + dir + "/ran2 `id`";
    ASSERT_TRUE(live.PipeWrite(line + "\n"));
    std::string told;
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::ifstream in(dir + "/told");
            std::stringstream all;
            all << in.rdbuf();
            told = all.str();
            return told.size() > line.size();
        },
        5000));
    EXPECT_EQ(told, std::to_string(live.port) + "|" + live.pipeName + "|under test|panic|" + line);
    EXPECT_NE(access((dir + "/ran").c_str(), F_OK), 0);
    EXPECT_NE(access((dir + "/ran2").c_str(), F_OK), 0);
    ASSERT_EQ(system(("rm -rf " + dir).c_str()), 0);
}
#endif

}  // namespace
}  // namespace tolvi::test
