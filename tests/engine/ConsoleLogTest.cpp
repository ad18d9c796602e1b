// The console's log and replay: the pipe is kept open for them with or without clients,
// what it prints lands in the log and rotates at a line end from 10 MiB on, a log that cannot be
// written is told and the relay goes on, and a new client is first sent exactly the latest output.
#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "engine/ConsoleLog.h"
#include "engine/LineStamps.h"
#include "engine/ReplayBuffer.h"
#include "platform/FileTrust.h"
#include "platform/UserFolder.h"
#include "support/LiveConnector.h"

#ifdef _WIN32
#include <windows.h>
#include <aclapi.h>
#include <sddl.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace tolvi::test {
namespace {

std::string TempPath(const std::string& name) {
#ifdef _WIN32
    char dir[MAX_PATH] = "";
    GetTempPathA(sizeof dir, dir);
    return std::string(dir) + "tolvi-" + std::to_string(NowMs()) + "-" + name;
#else
    return "/tmp/tolvi-" + std::to_string(getpid()) + "-" + name;
#endif
}

#ifdef _WIN32
const char kSeparator[] = "\\";
#else
const char kSeparator[] = "/";
#endif

std::string FileText(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream all;
    all << in.rdbuf();
    return all.str();
}

// Output of every byte value but ESC and ENQ, which a replay keeps only outside the questions
// to the terminal that they begin.
std::string Printed(size_t size, int seed) {
    std::string s(size, '\0');
    for (size_t i = 0; i < size; ++i) {
        s[i] = static_cast<char>((i * 7 + seed + i / 300) % 256);
        if (s[i] == '\x1b' || s[i] == '\x05')
            s[i] = '.';
    }
    return s;
}

TEST(ConsoleLog, RotatesAtTheFirstLineEndFromTenMiBOnAndLosesNothing) {
    std::string path = TempPath("rotate.log");
    std::remove((path + ".1").c_str());
    auto append = [](ConsoleLog& log, const std::string& text) {
        return log.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    const size_t kLimit = ConsoleLog::kRotateBytes + ConsoleLog::kLineSearchBytes;
    {
        std::ofstream(path, std::ios::binary | std::ios::trunc) << std::string(100, 'x');
        std::ofstream(path + ".1") << "an older rotation, replaced";
        ConsoleLog log;  // the file's 100 bytes count towards its size
        ASSERT_TRUE(log.Open(path)) << log.Problem();
        ASSERT_TRUE(append(log, std::string(ConsoleLog::kRotateBytes - 105, 'a')));
        ASSERT_TRUE(append(log, "bcdefg\nhij"));
        EXPECT_EQ(FileText(path), "hij");  // flushed as it goes
        std::string rotated = FileText(path + ".1");
        EXPECT_EQ(rotated.size(), ConsoleLog::kRotateBytes + 2);
        EXPECT_EQ(rotated.substr(rotated.size() - 8), "abcdefg\n");
        // A console that prints no line end is split where the search for one gives up.
        ASSERT_TRUE(append(log, std::string(kLimit, 'z')));
        EXPECT_EQ(FileText(path + ".1"), "hij" + std::string(kLimit - 3, 'z'));
        EXPECT_EQ(FileText(path), "zzz");
    }
    ConsoleLog again;  // a new start appends to what is there
    ASSERT_TRUE(again.Open(path));
    ASSERT_TRUE(append(again, "more"));
    EXPECT_EQ(FileText(path), "zzzmore");
    again.Close();
    std::remove(path.c_str());
    std::remove((path + ".1").c_str());
}

// An old log already past the size rotates at its next line end; one whose rename fails
// (a reader holds it) goes on growing and is renamed at a later line end, said once.
TEST(ConsoleLog, ALogPastItsSizeRotatesAtALineEndAndOneThatCannotBeRenamedGoesOn) {
    std::string path = TempPath("old.log");
    auto append = [](ConsoleLog& log, const std::string& text) {
        return log.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    std::remove((path + ".1").c_str());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        << std::string(ConsoleLog::kRotateBytes + 10, 'o') + "partial";
    ConsoleLog log;
    ASSERT_TRUE(log.Open(path)) << log.Problem();
    ASSERT_TRUE(append(log, " rest\nnext"));
    EXPECT_EQ(FileText(path), "next");
    std::string rotated = FileText(path + ".1");
    EXPECT_EQ(rotated.substr(rotated.size() - 13), "partial rest\n");
    EXPECT_EQ(log.TakeNotice(), "");

    // A folder where the rotation's file would go makes the rename fail.
    std::remove((path + ".1").c_str());
    ASSERT_TRUE(platform::MakeFolder(path + ".1"));
    std::ofstream(path + ".1" + kSeparator + "held") << "x";
    ASSERT_TRUE(append(log, std::string(ConsoleLog::kRotateBytes, 'p') + "\nline"));
    std::string notice = log.TakeNotice();
    EXPECT_EQ(notice.rfind("Could not rotate log file " + path + " (", 0), 0u) << notice;
    ASSERT_TRUE(append(log, std::string(ConsoleLog::kLineSearchBytes * 2, 'q') + "\nmore"));
    EXPECT_EQ(log.TakeNotice(), "");  // said once
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(FileText(path).size(), 4 + ConsoleLog::kRotateBytes + 5 +
                                         ConsoleLog::kLineSearchBytes * 2 + 5);
    std::remove((path + ".1" + kSeparator + "held").c_str());
#ifdef _WIN32
    RemoveDirectoryA((path + ".1").c_str());
#else
    rmdir((path + ".1").c_str());
#endif
    ASSERT_TRUE(append(log, " end\nlast"));  // renamed now
    EXPECT_EQ(FileText(path), "last");
    log.Close();
    std::remove(path.c_str());
    std::remove((path + ".1").c_str());
}

#ifndef _WIN32
// A log is its owner's alone to read; one that another user (or a link) put in its place is
// not written, and a disk that is full is said, not taken for written.
TEST(ConsoleLog, IsItsOwnersAloneAndAFailedWriteIsSaid) {
    std::string path = TempPath("private.log");
    std::remove(path.c_str());
    ConsoleLog log;
    ASSERT_TRUE(log.Open(path)) << log.Problem();
    struct stat info {};
    ASSERT_EQ(stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    log.Close();
    std::string link = TempPath("link.log");
    std::remove(link.c_str());
    ASSERT_EQ(symlink(path.c_str(), link.c_str()), 0);
    EXPECT_FALSE(log.Open(link));
    EXPECT_EQ(log.Problem(), "Could not write log file " + link + " (it is a link)");
    std::remove(link.c_str());
    if (geteuid() == 0) {
        ASSERT_EQ(chown(path.c_str(), 65534, 65534), 0);
        EXPECT_FALSE(log.Open(path));
        EXPECT_NE(log.Problem().find("(it is owned by "), std::string::npos) << log.Problem();
    }
    std::remove(path.c_str());
    ASSERT_TRUE(log.Open("/dev/full")) << log.Problem();
    EXPECT_FALSE(log.Append(reinterpret_cast<const uint8_t*>("lost\n"), 5));
    EXPECT_FALSE(log.IsOpen());
    EXPECT_EQ(log.Problem().rfind("Could not write log file /dev/full (", 0), 0u) << log.Problem();
}
#endif

// The service's folders and the files that decide who logs in: made for the system and the
// administrators alone; one that somebody else owns, or that others may write, is not used.
TEST(ConsoleLog, FoldersAndFilesAnotherUserPreparedAreNotUsed) {
    std::string folder = TempPath("private"), why;
    ASSERT_TRUE(platform::MakePrivateFolder(folder, false, &why)) << why;
    EXPECT_TRUE(platform::CheckFileTrust(folder).trusted) << platform::CheckFileTrust(folder).why;
    std::string file = folder + kSeparator + "authorized_keys";
    std::ofstream(file) << "ssh-ed25519 AAAA\n";
#ifdef _WIN32
    auto setAcl = [](const std::string& path, const wchar_t* sddl, SECURITY_INFORMATION what) {
        PSECURITY_DESCRIPTOR d = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &d,
                                                                         nullptr));
        ASSERT_TRUE(SetFileSecurityA(path.c_str(), what, d));
        LocalFree(d);
    };
    // Nothing inherited from where it was made: the system, the administrators and we alone.
    PSID owner = nullptr;
    PACL dacl = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoA(folder.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &dacl, nullptr, &descriptor),
              ERROR_SUCCESS);
    ASSERT_NE(dacl, nullptr);
    for (DWORD i = 0; i < dacl->AceCount; ++i) {
        ACCESS_ALLOWED_ACE* ace = nullptr;
        ASSERT_TRUE(GetAce(dacl, i, reinterpret_cast<void**>(&ace)));
        LPSTR sid = nullptr;
        ConvertSidToStringSidA(&ace->SidStart, &sid);
        std::string text = sid ? sid : "";
        LocalFree(sid);
        EXPECT_TRUE(text == "S-1-5-18" || text == "S-1-5-32-544" || text.rfind("S-1-5-21-", 0) == 0)
            << text;
    }
    LocalFree(descriptor);
    setAcl(file, L"D:(A;;FA;;;WD)", DACL_SECURITY_INFORMATION);
    EXPECT_EQ(platform::CheckFileTrust(file).why, "can be written by Everyone");
    setAcl(file, L"O:BUD:(A;;FA;;;BA)", OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION);
    setAcl(folder, L"O:BU", OWNER_SECURITY_INFORMATION);
    // Wine keeps the owner a file was made with; Windows gives it to whom it is given.
    descriptor = nullptr;
    GetNamedSecurityInfoA(file.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner,
                          nullptr, nullptr, nullptr, &descriptor);
    BYTE users[SECURITY_MAX_SID_SIZE];
    DWORD usersSize = sizeof users;
    CreateWellKnownSid(WinBuiltinUsersSid, nullptr, users, &usersSize);
    const bool ownerTaken = owner && EqualSid(owner, users);
    LocalFree(descriptor);
    if (ownerTaken)
        EXPECT_EQ(platform::CheckFileTrust(file).why, "is owned by BUILTIN\\Users");
    else
        setAcl(file, L"D:(A;;FA;;;WD)", DACL_SECURITY_INFORMATION);
#else
    chmod(file.c_str(), 0666);
    EXPECT_EQ(platform::CheckFileTrust(file).why, "can be written by anyone");
    if (geteuid() == 0) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
        ASSERT_EQ(chown(folder.c_str(), 65534, 65534), 0);
        EXPECT_EQ(platform::CheckFileTrust(file).why, "is owned by nobody");
    }
#endif
    EXPECT_FALSE(platform::CheckFileTrust(file).trusted);
#ifdef _WIN32
    if (ownerTaken)
#else
    if (geteuid() == 0)
#endif
    {
        EXPECT_FALSE(platform::MakePrivateFolder(folder, false, &why));
        EXPECT_EQ(why.rfind("is owned by ", 0), 0u) << why;
    }
    std::remove(file.c_str());
#ifdef _WIN32
    RemoveDirectoryA(folder.c_str());
#else
    rmdir(folder.c_str());
#endif
}

TEST(ConsoleLog, StampsEachLineWithTheTimeItBeganAndCutsOneThatNeverEnds) {
    using namespace std::chrono;
    const system_clock::time_point first = system_clock::from_time_t(1796830867) + 318ms;
    const std::string s1 = LocalStamp(first), s2 = LocalStamp(first + 1500ms);
    ASSERT_EQ(s1.size(), 24u);
    EXPECT_EQ(s1.substr(16), ":07.318 ");  // whatever the zone, its seconds and milliseconds
    EXPECT_EQ(s2.substr(16), ":08.818 ");
    EXPECT_EQ(s1[4], '-');
    EXPECT_EQ(s1[10], ' ');

    std::string path = TempPath("stamped.log");
    std::remove(path.c_str());
    ConsoleLog log;
    ASSERT_TRUE(log.Open(path, true)) << log.Problem();
    auto append = [&](const std::string& text) {
        return log.Append(reinterpret_cast<const uint8_t*>(text.data()), text.size());
    };
    ASSERT_TRUE(append("boot\r\nload 10%\rload 99%\nhal"));
    ASSERT_TRUE(append("f a line\n"));
    std::string text = FileText(path);
    std::vector<std::string> lines;
    for (size_t at = 0, end; at < text.size(); at = end + 1) {
        end = text.find('\n', at);
        lines.push_back(text.substr(at, end - at));
    }
    ASSERT_EQ(lines.size(), 3u) << text;
    EXPECT_EQ(lines[0].substr(24), "boot\r");
    EXPECT_EQ(lines[1].substr(24), "load 10%\rload 99%");  // a lone CR ends no line
    EXPECT_EQ(lines[2].substr(24), "half a line");          // a line cut between reads is one
    for (const std::string& line : lines)
        EXPECT_EQ(line[19], '.') << line;
    EXPECT_LE(lines[0].substr(0, 24), lines[2].substr(0, 24));

    LineStamps stamps;  // a line that never ends is cut at its longest, the rest stamped anew
    std::string endless(LineStamps::kLongestLine + 5, 'x'), out;
    stamps.Stamp(reinterpret_cast<const uint8_t*>(endless.data()), endless.size(), first, &out);
    EXPECT_EQ(out, s1 + std::string(LineStamps::kLongestLine, 'x') + "\n" + s1 + "xxxxx");
    log.Close();
    std::remove(path.c_str());
}

TEST(ReplayBuffer, KeepsExactlyTheLatestBytes) {
    ReplayBuffer replay(10);
    replay.Append(reinterpret_cast<const uint8_t*>("abc"), 3);
    EXPECT_EQ(replay.Contents(), "abc");
    replay.Append(reinterpret_cast<const uint8_t*>("defghijk"), 8);
    EXPECT_EQ(replay.Contents(), "bcdefghijk");
    replay.Append(reinterpret_cast<const uint8_t*>("0123456789XY"), 12);
    EXPECT_EQ(replay.Contents(), "23456789XY");
    for (int i = 0; i < 25; ++i)
        replay.Append(reinterpret_cast<const uint8_t*>("z"), 1);
    EXPECT_EQ(replay.Contents(), std::string(10, 'z'));
    ReplayBuffer none;
    none.Append(reinterpret_cast<const uint8_t*>("x"), 1);
    EXPECT_EQ(none.Contents(), "");
}

TEST(ReplayBuffer, LeavesOutTheQuestionsToTheTerminalWhereverTheyAreCut) {
    const std::string asked =
        "\x1b[6n\x1b[5n\x1b[?6n\x1b[c\x1b[0c\x1b[>c\x1b[=c\x1b[>q\x1b[?2004$p\x1b[14t"
        "\x1b[21t\x1b]11;?\x07\x1b]4;1;?\x1b\\\x1b]52;c;?\x07\x1bP$qm\x1b\\\x1bP+q544e\x1b\\\x05";
    // Everything else stays exactly: colours, a title, a report the console echoes, a window
    // move (t below 11), a lone ESC, an OSC that sets a colour, a long title, a DCS.
    const std::string told = "\x1b[1;31mred\x1b[0m\x1b]0;title\x07\x1b[0n\x1b[3;4t\x1b\x1b(B"
                             "\x1b]11;#000000\x07\x1b]2;" + std::string(600, '?') +
                             "\x07\x1bPq#0\x1b\\\x1b[?1;2c";
    const std::string console = "login: " + asked + told + asked + "$ ";
    for (size_t piece : {size_t(1), size_t(2), size_t(7), console.size()}) {
        ReplayBuffer replay(4096);
        for (size_t at = 0; at < console.size(); at += piece) {
            std::string part = console.substr(at, piece);
            replay.Append(reinterpret_cast<const uint8_t*>(part.data()), part.size());
        }
        EXPECT_TRUE(SameBytes(replay.Contents(), "login: " + told + "$ ")) << "pieces of " << piece;
    }
    // A query the ring's wrap or start would cut is never in it.
    ReplayBuffer small(16);
    for (int i = 0; i < 20; ++i) {
        std::string prompt = "# \x1b[6n";
        small.Append(reinterpret_cast<const uint8_t*>(prompt.data()), prompt.size());
    }
    EXPECT_EQ(small.Contents(), "# # # # # # # # ");
}

TEST(ConsoleLogRelay, AJoiningTerminalIsNotAskedTheConsolesOldQuestions) {
    LiveConnector live;
    live.options.replayKiB = 4;
    live.options.maxClients = 2;
    live.options.notices = false;  // the console's bytes alone
    ASSERT_TRUE(live.Start());
    TestClient first;
    ASSERT_TRUE(live.Attach(first));
    ASSERT_TRUE(live.PipeWrite("login: \x1b[6n"));
    ASSERT_EQ(first.ReadCount(11, 3000), "login: \x1b[6n");  // live output is never touched
    // The joiner's terminal answers every question it is sent: it is sent none.
    TestClient second;
    ASSERT_TRUE(second.Connect(live.port));
    std::string expected = kAttaching + kConnectedBanner + "login: ";
    std::string got = second.ReadCount(expected.size(), 5000);
    EXPECT_EQ(got, expected);
    if (got.find("\x1b[6n") != std::string::npos)
        second.Send("\x1b[18;5R");
    EXPECT_EQ(live.PipeReadFor(500), "");
    EXPECT_EQ(first.ReadFor(200), "");
}

TEST(ConsoleLogRelay, WhatTheConsolePrintsWithoutClientsIsLoggedAndReplayed) {
    LiveConnector live;
    std::string path = TempPath("console.log");
    std::remove(path.c_str());
    live.options.logFile = path;
    live.options.replayKiB = 1;
    ASSERT_TRUE(live.Start());
    // No client: the pipe is opened for the log all the same, and hears no carriage return.
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    std::string night = Printed(3000, 5);  // a boot that hung at night, 255 included
    ASSERT_TRUE(live.PipeWrite(night));
    EXPECT_TRUE(WaitUntil([&] { return FileText(path) == night; }, 3000));
    EXPECT_EQ(live.PipeReadFor(300), "");
    EXPECT_EQ(live.connector->GetStatus(), Ready);

    // The morning's client gets the banners, then exactly the last KiB, doubled as data.
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    std::string expected =
        kAttaching + kConnectedBanner + Doubled(night.substr(night.size() - 1024));
    EXPECT_TRUE(SameBytes(client.ReadCount(expected.size(), 5000), expected));
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");  // now the console hears of a user
    ASSERT_TRUE(live.PipeWrite("live"));
    EXPECT_EQ(client.ReadCount(4, 3000), "live");
    // The replay is not counted as sent again.
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetBytesSent() == 4; }, 2000))
        << live.connector->GetBytesSent();
    EXPECT_TRUE(WaitUntil([&] { return FileText(path) == night + "live"; }, 3000));

    // The client goes: the pipe stays open for the log.
    client.Close();
    EXPECT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 2000));
    ASSERT_TRUE(live.PipeWrite("after"));
    EXPECT_TRUE(WaitUntil([&] { return FileText(path) == night + "liveafter"; }, 3000));
    live.connector.reset();
    std::remove(path.c_str());
}

TEST(ConsoleLogRelay, AReplayAloneKeepsThePipeOpenToo) {
    LiveConnector live;
    live.options.replayKiB = 4;
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));  // opened before any client came
    ASSERT_TRUE(live.PipeWrite("while nobody was there\r\n"));
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    TestClient client;
    ASSERT_TRUE(client.Connect(live.port));
    std::string expected = kAttaching + kConnectedBanner + "while nobody was there\r\n";
    EXPECT_EQ(client.ReadCount(expected.size(), 5000), expected);
    // The console restarts under the client: it is told so, but is not sent the replay it has
    // seen again, whose terminal queries it would answer into the new console.
    live.pipe.DropClient();
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(live.PipeWrite("booting"));
    expected = kAttaching + kConnectedBanner + "booting";
    EXPECT_EQ(client.ReadCount(expected.size(), 5000), expected);
}

TEST(ConsoleLogRelay, AClientWhoSawItAllIsNotReplayedToAndEachNewOneIsAnnounced) {
    LiveConnector live;
    live.options.replayKiB = 4;
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    TestClient first;  // before any output: an empty replay, and nothing it has not seen later
    ASSERT_TRUE(first.Connect(live.port));
    std::string banner = kAttaching + kConnectedBanner;
    EXPECT_EQ(first.ReadCount(banner.size(), 5000), banner);
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
    ASSERT_TRUE(live.PipeWrite("seen"));
    EXPECT_EQ(first.ReadCount(4, 3000), "seen");
    live.pipe.DropClient();
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_EQ(first.ReadCount(banner.size(), 5000), banner);
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");  // the restarted console learns of its user
    EXPECT_EQ(first.ReadFor(300), "");
    // The pipe stays open for the replay when the client goes; the next one is announced
    // to the console again.
    first.Close();
    ASSERT_TRUE(WaitUntil([&] { return live.connector->GetStatus() == Ready; }, 3000));
    TestClient second;
    ASSERT_TRUE(second.Connect(live.port));
    EXPECT_EQ(second.ReadCount(banner.size() + 4, 5000), banner + "seen");
    EXPECT_EQ(live.PipeRead(1, 3000), "\r");
}

TEST(ConsoleLogRelay, APipeThatGoesAwayIsOpenedAgainForTheLog) {
    LiveConnector live;
    std::string path = TempPath("reopen.log");
    std::remove(path.c_str());
    live.options.logFile = path;
    ASSERT_TRUE(live.Start());
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(live.PipeWrite("one "));
    // Windows throws away what a pipe server disconnects from unread.
    ASSERT_TRUE(WaitUntil([&] { return FileText(path) == "one "; }, 3000)) << FileText(path);
    live.pipe.DropClient();  // the console restarts
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    ASSERT_TRUE(live.PipeWrite("two"));
    EXPECT_TRUE(WaitUntil([&] { return FileText(path) == "one two"; }, 3000)) << FileText(path);
    live.connector.reset();
    std::remove(path.c_str());
}

TEST(ConsoleLogRelay, ALogThatCannotBeWrittenIsToldAndTheRelayGoesOn) {
    LiveConnector live;
#ifdef _WIN32
    std::string path = "Z:\\no\\such\\folder\\tolvi.log";
#else
    std::string path = "/no/such/folder/tolvi.log";
#endif
    live.options.logFile = path;
    ASSERT_TRUE(live.Start());
    EXPECT_TRUE(WaitUntil([&] { return !live.connector->GetErrorText().empty(); }, 3000));
    EXPECT_EQ(live.connector->GetErrorText().rfind("Could not write log file " + path + " (", 0),
              0u)
        << live.connector->GetErrorText();
    EXPECT_EQ(live.connector->GetStatus(), Ready);
    TestClient client;
    ASSERT_TRUE(live.Attach(client));
    ASSERT_TRUE(live.PipeWrite("still relayed"));
    EXPECT_EQ(client.ReadCount(13, 3000), "still relayed");
}

}  // namespace
}  // namespace tolvi::test
