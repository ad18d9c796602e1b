// Alerts on what a console prints: a line that matches is told once for its pattern in ten
// seconds (the rest counted), as the console wrote it but for its escape sequences, with
// nobody connected; a prompt that ends no line is matched once the console is quiet, and once;
// all patterns are matched in one pass; a console faster than its patterns loses lines to the
// watch, counted; and the alert's command gets the line in its environment, where no shell
// reads it as code.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <thread>

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

// One pass finds every pattern a line matches, as each would alone: in any case beyond ASCII,
// and in time linear in the line for a pattern a backtracking matcher takes for ever on.
TEST(ConsoleAlerts, PatternsMatchedTogetherFindWhatEachFindsAlone) {
    const std::string patterns =
        "(?i)kernel panic\nOops: [0-9a-f]+\nlogin: $\n^\\[ *[0-9]+\\.[0-9]+\\] EXT4-fs error\n"
        "(?i)\xc3\x89" "CHEC\n(a*)*b\n.*(error|fail)\nx{3,}y";
    std::vector<AlertPattern> compiled;
    ASSERT_EQ(CompileAlertPatterns(patterns, &compiled), "");
    const AlertMatcher together(compiled);
    const std::string as(4096, 'a');
    const std::vector<std::pair<std::string, std::vector<int>>> lines = {
        {"[ 1.0] Kernel PANIC - not syncing", {0}},
        {"Oops: 0002 [#1] SMP", {1}},
        {"guest login: ", {2}},
        {"guest login: root", {}},
        {"[   12.345] EXT4-fs error (device sda1)", {3, 6}},
        {"\xc3\xa9" "chec total, kernel panic", {0, 4}},
        {as, {}},
        {as + "b", {5}},
        {std::string(4000, 'x') + " fail", {6}},
        {"xxy xxxy", {7}},
        {"", {}}};
    std::vector<int> matched;
    for (const auto& [line, expected] : lines) {
        together.Match(line, &matched);
        EXPECT_EQ(matched, expected) << line.substr(0, 60);
        std::vector<int> alone;
        for (size_t i = 0; i < compiled.size(); ++i) {
            if (MatchesAlert(compiled[i], line))
                alone.push_back(static_cast<int>(i));
        }
        EXPECT_EQ(alone, expected) << line.substr(0, 60);
    }
}

// Escape sequences leave a line however they begin: ESC, or a C1 control as a byte of its own
// or in UTF-8; a character whose bytes look like one stays.
TEST(ConsoleAlerts, ALineLosesItsSequencesAndControlsButNotItsCharacters) {
    EXPECT_EQ(PlainLine("\x1b[1;31mred\x1b[0m\x1b]0;title\x07 \x1b(Bx\t\x1b" "7y\x1bP+q\x1b\\z"),
              "red x\tyz");
    EXPECT_EQ(PlainLine("\x9b" "1;31mred\x9b" "0m \x9d" "0;title\x9c" "x\x90+q\x9c" "y"),
              "red xy");
    EXPECT_EQ(PlainLine("\xc2\x9b" "31mred\xc2\x9b" "0m \xc2\x9d" "0;\xc4\x9c\xc2\x9c" "x"),
              "red x");
    EXPECT_EQ(PlainLine("a\x85" "b\xc2\x85" "c\x7f\x01"), "abc");
    EXPECT_EQ(PlainLine("\xe2\x82\xac 5 \xc4\x9c \xc3\xa9 \xc0\xaf"),
              "\xe2\x82\xac 5 \xc4\x9c \xc3\xa9 \xc0\xaf");
}

// A console that prints faster than its lines are matched: what waits stays bounded, the
// lines dropped are counted as lines and told, a line whose start was dropped is not matched,
// and the watch goes on with the lines after.
TEST(ConsoleAlerts, AConsoleFasterThanItsPatternsLosesLinesToTheWatchAndIsToldHowMany) {
    std::vector<AlertPattern> patterns;
    ASSERT_EQ(CompileAlertPatterns("^held$\nHELLO", &patterns), "");
    std::mutex lock;
    std::condition_variable changed;
    bool held = false, release = false;
    std::vector<std::string> told;
    std::vector<uint64_t> skippedTold;
    AlertWatcher watcher;
    ASSERT_TRUE(watcher.Start(
        patterns,
        [&](const ConsoleAlert& alert) {
            std::unique_lock<std::mutex> hold(lock);
            told.push_back(alert.line);
            held = true;
            changed.notify_all();
            changed.wait(hold, [&] { return release; });  // as if its matching took long
        },
        [&](uint64_t lines) {
            std::lock_guard<std::mutex> hold(lock);
            skippedTold.push_back(lines);
        }));
    auto feed = [&](const std::string& text) {
        watcher.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    feed("held\n");
    {
        std::unique_lock<std::mutex> hold(lock);
        ASSERT_TRUE(changed.wait_for(hold, seconds(5), [&] { return held; }));
    }
    const std::string line = std::string(1023, 'x') + "\n";
    const size_t fit = AlertWatcher::kMostWaiting / line.size(), fed = fit + 1000;
    for (size_t i = 0; i < fed; ++i)
        feed(line);
    feed("the start of a line");
    EXPECT_LE(watcher.Waiting(), AlertWatcher::kMostWaiting);
    EXPECT_EQ(watcher.SkippedLines(), fed - fit + 1);
    {
        std::lock_guard<std::mutex> hold(lock);
        release = true;
        changed.notify_all();
    }
    ASSERT_TRUE(WaitUntil([&] { return watcher.Waiting() == 0; }, 5000));
    feed(" and HELLO, its end\nHELLO\n");
    ASSERT_TRUE(WaitUntil(
        [&] {
            std::lock_guard<std::mutex> hold(lock);
            return told.size() == 2 && skippedTold.size() == 1;
        },
        5000));
    watcher.Stop();
    EXPECT_EQ(told, (std::vector<std::string>{"held", "HELLO"}));
    EXPECT_EQ(skippedTold, std::vector<uint64_t>{fed - fit + 1});
}

// A prompt is matched once the console is quiet, and not again while it stands: neither as
// the quiet goes on nor when its line ends unchanged. The next prompt is another match.
TEST(ConsoleAlerts, APromptMatchedOnceStaysMatchedWhileItStands) {
    std::vector<AlertPattern> patterns;
    ASSERT_EQ(CompileAlertPatterns("login: $", &patterns), "");
    std::mutex lock;
    int told = 0;
    AlertWatcher watcher;
    ASSERT_TRUE(watcher.Start(
        patterns,
        [&](const ConsoleAlert&) {
            std::lock_guard<std::mutex> hold(lock);
            ++told;
        },
        {}, AlertLimiter::Clock::duration::zero()));  // every match told
    auto toldNow = [&] {
        std::lock_guard<std::mutex> hold(lock);
        return told;
    };
    auto feed = [&](const std::string& text) {
        watcher.Feed(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    feed("guest login: ");
    ASSERT_TRUE(WaitUntil([&] { return toldNow() == 1; }, 5000));
    std::this_thread::sleep_for(AlertWatcher::kPromptTime * 3 / 2);
    feed("\r\n");
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(toldNow(), 1);
    feed("guest login: ");
    EXPECT_TRUE(WaitUntil([&] { return toldNow() == 2; }, 5000));
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
