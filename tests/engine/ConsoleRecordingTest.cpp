// A recorded console: read back as asciicast v2 (the header, times that never go back, the
// console's text exactly where it is UTF-8, the markers in order with the names), what was
// typed only when asked, a new file at the size limit and the oldest removed, a recording that
// says what it lost; and the audit trail of a session that is taken over and of a failed login.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <thread>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "engine/ConsoleRecorder.h"
#include "model/AuditTrail.h"
#include "platform/Folder.h"
#include "support/LiveConnector.h"

namespace tolvi::test {
namespace {

namespace fs = std::filesystem;
using nlohmann::json;

// A folder of its own for each test, empty.
std::string FreshFolder(const std::string& name) {
    fs::path folder = fs::temp_directory_path() / ("tolvi-" + std::to_string(NowMs()) + "-" + name);
    fs::remove_all(folder);
    fs::create_directories(folder);
    return folder.u8string();
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(fs::u8path(path), std::ios::binary);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::vector<std::string> Casts(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(fs::u8path(folder)))
        names.push_back(e.path().filename().u8string());
    std::sort(names.begin(), names.end());
    return names;
}

struct Cast {
    json header;
    std::string output;                // every "o" event's text, joined
    std::string input;                 // every "i" event's
    std::vector<std::string> markers;  // with "i" events as "typed: TEXT"
    bool timesInOrder = true;
};

Cast ReadCast(const std::string& path) {
    Cast cast;
    std::vector<std::string> lines = Lines(path);
    if (lines.empty())
        return cast;
    cast.header = json::parse(lines[0]);
    double last = 0;
    for (size_t i = 1; i < lines.size(); ++i) {
        json e = json::parse(lines[i]);
        double t = e[0].get<double>();
        cast.timesInOrder = cast.timesInOrder && t >= last;
        last = t;
        std::string code = e[1], text = e[2];
        if (code == "o")
            cast.output += text;
        else if (code == "i")
            cast.input += text, cast.markers.push_back("typed: " + text);
        else
            cast.markers.push_back(text);
    }
    return cast;
}

std::vector<json> AuditRecords(const std::string& path) {
    std::vector<json> records;
    for (const std::string& line : Lines(path))
        records.push_back(json::parse(line));
    return records;
}

// A console that prints, clears its screen and prints again, a Telnet client who joins and
// types, and an SSH client who takes the console over from it.
struct RecordedSession {
    // The trail outlives the connector, which writes to it as it stops.
    AuditTrail audit;
    std::string folder;
    std::string auditPath;
    LiveConnector live;

    explicit RecordedSession(bool recordInput) {
        folder = FreshFolder(recordInput ? "input" : "screen");
        auditPath = platform::JoinPath(folder, "audit.jsonl");
        live.options.record = true;
        live.options.recordInput = recordInput;
        live.options.maxClients = 2;
        live.options.allowNonLocal = true;  // the one who takes it comes from 10.0.0.9
    }

    void Run() {
        ASSERT_TRUE(audit.Open(auditPath));
        ASSERT_TRUE(live.Start(true, "", [&](PipeConnector& c) {
            c.SetRecordingFolder(platform::JoinPath(folder, "2323"));
            c.SetAudit(&audit);
        }));
        ASSERT_TRUE(live.pipe.WaitClient(5000));  // opened for the recording alone
        ASSERT_TRUE(live.PipeWrite("boot \xC3\xBC\r\n"));
        TestClient telnet;
        ASSERT_TRUE(telnet.Connect(live.port));
        ASSERT_EQ(live.PipeRead(1, 3000), "\r");
        ASSERT_TRUE(telnet.Send("ls\r\n"));
        ASSERT_EQ(live.PipeRead(3, 3000), "ls\r");
        // A character cut between two reads, and a byte that is not UTF-8.
        ASSERT_TRUE(live.PipeWrite("\x1b[2J\x1b[Hagain \xE2\x82"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        ASSERT_TRUE(live.PipeWrite("\xAC \xFF\r\n"));
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        platform::TcpSocket ours, theirs;
        ASSERT_FALSE(platform::ConnectedPair(&ours, &theirs).Failed());
        ASSERT_TRUE(live.connector->AddClient(
            std::move(ours), HostedClient{"boss 10.0.0.9", ClientKind::Ssh, false, true,
                                          "10.0.0.9", "SHA256:abc"}));
        ASSERT_TRUE(telnet.WaitClosed(3000));
        ASSERT_TRUE(WaitUntil(
            [&] { return live.connector->GetClientAddress() == "boss 10.0.0.9"; }, 3000));
        live.connector.reset();  // the recording is written whole at the stop
    }
};

TEST(ConsoleRecording, ReadsBackAsAsciicastWithTheScreenAndWhatHappenedAroundIt) {
    RecordedSession session(false);
    session.Run();
    std::vector<std::string> files = Casts(platform::JoinPath(session.folder, "2323"));
    ASSERT_EQ(files.size(), 1u);
    ASSERT_TRUE(IsRecordingName(files[0])) << files[0];
    Cast cast = ReadCast(platform::JoinPath(session.folder, "2323/" + files[0]));
    EXPECT_EQ(cast.header["version"], 2);
    EXPECT_EQ(cast.header["width"], 80);
    EXPECT_EQ(cast.header["height"], 24);
    EXPECT_EQ(cast.header["title"], "under test \xE2\x80\x94 " + session.live.pipeName);
    EXPECT_TRUE(cast.timesInOrder);
    EXPECT_EQ(cast.output, "boot \xC3\xBC\r\n\x1b[2J\x1b[Hagain \xE2\x82\xAC \xEF\xBF\xBD\r\n");
    std::vector<std::string> expected = {
        "pipe attached",
        "127.0.0.1 joined",
        "127.0.0.1 typing",
        "boss 10.0.0.9 took the console",
        "127.0.0.1 was taken over by boss 10.0.0.9",
        "boss 10.0.0.9 joined",
        "boss 10.0.0.9 left: the connector stopped",
    };
    EXPECT_EQ(cast.markers, expected);  // and nothing typed: input is not kept unless asked

    // The trail: who was on, how it came, and how it ended.
    std::vector<json> records = AuditRecords(session.auditPath);
    ASSERT_EQ(records.size(), 5u);
    std::vector<std::string> events;
    for (const json& r : records) {
        events.push_back(r["event"]);
        std::string time = r["time"];
        EXPECT_EQ(time.size(), 24u) << time;  // 2026-12-09T15:41:07.318Z
        EXPECT_EQ(time.back(), 'Z');
    }
    EXPECT_EQ(events, (std::vector<std::string>{"session start", "take", "session end",
                                                "session start", "session end"}));
    const json& taken = records[2];
    EXPECT_EQ(taken["name"], "127.0.0.1");
    EXPECT_EQ(taken["kind"], "Telnet");
    EXPECT_EQ(taken["address"], "127.0.0.1");
    EXPECT_EQ(taken["watching"], false);
    EXPECT_EQ(taken["ended"], "taken over by boss 10.0.0.9");
    EXPECT_EQ(taken["bytesFromClient"], 4);
    EXPECT_EQ(taken["port"], std::stoi(records[0]["port"].dump()));
    EXPECT_EQ(records[1]["name"], "boss 10.0.0.9");
    EXPECT_EQ(records[1]["from"], json::array({"127.0.0.1"}));
    EXPECT_EQ(records[3]["keyFingerprint"], "SHA256:abc");
    EXPECT_EQ(records[4]["ended"], "the connector stopped");
}

TEST(ConsoleRecording, KeepsWhatWasTypedOnlyWhenAsked) {
    RecordedSession session(true);
    session.Run();
    std::vector<std::string> files = Casts(platform::JoinPath(session.folder, "2323"));
    ASSERT_EQ(files.size(), 1u);
    Cast cast = ReadCast(platform::JoinPath(session.folder, "2323/" + files[0]));
    auto typist = std::find(cast.markers.begin(), cast.markers.end(), "127.0.0.1 typing");
    ASSERT_NE(typist, cast.markers.end());
    ASSERT_NE(typist + 1, cast.markers.end());
    EXPECT_EQ(*(typist + 1), "typed: ls\r\n");  // after its typist, as the pipe got it
    EXPECT_EQ(cast.input, "ls\r\n");
}

TEST(ConsoleRecorder, BeginsANewFileAtItsSizeAndKeepsTheFolderWithinItsBounds) {
    std::string folder = FreshFolder("rotate");
    // A recording of 40 days ago, and one of today that the total leaves no room for.
    for (const char* name : {"2000-01-01_00-00-00.cast", "2000-01-02_00-00-00.cast"}) {
        std::ofstream(fs::u8path(platform::JoinPath(folder, name))) << std::string(3000, 'x');
    }
    fs::last_write_time(fs::u8path(platform::JoinPath(folder, "2000-01-01_00-00-00.cast")),
                        fs::file_time_type::clock::now() - std::chrono::hours(24 * 40));
    std::ofstream(fs::u8path(platform::JoinPath(folder, "notes.txt"))) << "kept";
    RecordingLimits limits;
    limits.fileBytes = 4096;
    limits.totalBytes = 12 * 1024;
    limits.days = 30;
    ConsoleRecorder recorder;
    std::vector<std::string> problems;
    ASSERT_TRUE(recorder.Start(folder, "t", limits, [&](const std::string& p) { problems.push_back(p); }));
    std::string all;
    for (int i = 0; i < 64; ++i) {
        std::string piece = "line " + std::to_string(i) + " " + std::string(200, 'a' + i % 26) + "\r\n";
        all += piece;
        recorder.Output(reinterpret_cast<const uint8_t*>(piece.data()), piece.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(3));  // an event each
    }
    recorder.Stop();
    EXPECT_TRUE(problems.empty());
    std::vector<std::string> names = Casts(folder);
    EXPECT_EQ(std::count(names.begin(), names.end(), "notes.txt"), 1);
    EXPECT_EQ(std::count(names.begin(), names.end(), "2000-01-01_00-00-00.cast"), 0);  // too old
    EXPECT_EQ(std::count(names.begin(), names.end(), "2000-01-02_00-00-00.cast"), 0);  // no room
    uint64_t total = 0;
    std::string replayed;
    int recordings = 0;
    for (const std::string& name : names) {
        if (!IsRecordingName(name))
            continue;
        ++recordings;
        uint64_t size = fs::file_size(fs::u8path(platform::JoinPath(folder, name)));
        EXPECT_LT(size, limits.fileBytes + 512) << name;  // one event past the limit at most
        total += size;
        Cast cast = ReadCast(platform::JoinPath(folder, name));
        EXPECT_EQ(cast.header["version"], 2) << name;
        replayed += cast.output;
    }
    EXPECT_GE(recordings, 2);
    EXPECT_LE(total, limits.totalBytes + limits.fileBytes + 512);
    // What is left is the newest, whole: the end of the console's output.
    ASSERT_FALSE(replayed.empty());
    EXPECT_EQ(all.substr(all.size() - replayed.size()), replayed);
}

TEST(ConsoleRecorder, SaysWhatItLostToAConsoleFasterThanTheDisk) {
    std::string folder = FreshFolder("lost");
    ConsoleRecorder recorder;
    ASSERT_TRUE(recorder.Start(folder, "t", RecordingLimits{}, nullptr));
    recorder.Output(reinterpret_cast<const uint8_t*>("before "), 7);
    std::string flood(ConsoleRecorder::kMostWaiting + 1, 'f');  // more than may ever wait
    recorder.Output(reinterpret_cast<const uint8_t*>(flood.data()), flood.size());
    recorder.Output(reinterpret_cast<const uint8_t*>("after"), 5);
    recorder.Stop();
    std::vector<std::string> names = Casts(folder);
    ASSERT_EQ(names.size(), 1u);
    Cast cast = ReadCast(platform::JoinPath(folder, names[0]));
    EXPECT_EQ(cast.output, "before after");
    ASSERT_EQ(cast.markers.size(), 1u);
    EXPECT_EQ(cast.markers[0], "recording lost " + std::to_string(flood.size()) +
                                   " bytes of output: the disk fell behind the console");
}

TEST(AuditTrail, AFailedLoginIsWrittenWithTheNameAsSentMadeSafe) {
    std::string folder = FreshFolder("audit");
    std::string path = platform::JoinPath(folder, "audit.jsonl");
    AuditTrail audit;
    std::vector<std::string> told;
    audit.SetEcho([&](const std::string& line) { told.push_back(line); });
    ASSERT_TRUE(audit.Open(path));
    audit.LoginRefused("10.0.0.7", "root\x1b[2J\xFF", "SHA256:Zm9v");
    std::vector<json> records = AuditRecords(path);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0]["event"], "login refused");
    EXPECT_EQ(records[0]["address"], "10.0.0.7");
    EXPECT_EQ(records[0]["user"], "root\\x1b[2J\xEF\xBF\xBD");
    EXPECT_EQ(records[0]["keyFingerprint"], "SHA256:Zm9v");
    ASSERT_EQ(told.size(), 1u);
    EXPECT_EQ(told[0], "SSH login refused from 10.0.0.7: user \"root\\x1b[2J\xEF\xBF\xBD\", key SHA256:Zm9v");
}

}  // namespace
}  // namespace tolvi::test
