// The web console's server as another program or web page meets it: only requests with the
// token, for 127.0.0.1 and from its own origin get anything; it is reachable on 127.0.0.1
// alone.
#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "engine/PipeConnector.h"
#include "model/ConnectorHost.h"
#include "pipeserver/PipeServer.h"
#include "support/Settings.h"
#include "support/TestClient.h"
#include "web/ConsolePage.h"
#include "web/WebConsoleServer.h"

namespace tolvi::test {
namespace {

struct Reply {
    int status = 0;
    std::string text;
};

// The reply's head, and as much after it as it takes to find until.
Reply Get(uint16_t port, const std::string& target, const std::string& headers,
          const std::string& until = "\r\n\r\n") {
    TestClient client;
    Reply reply;
    if (!client.Connect(port))
        return reply;
    client.Send("GET " + target + " HTTP/1.1\r\n" + headers + "Connection: close\r\n\r\n");
    reply.text = client.ReadUntil(until, 3000);
    if (reply.text.compare(0, 9, "HTTP/1.1 ") == 0)
        reply.status = std::atoi(reply.text.c_str() + 9);
    return reply;
}

TEST(WebConsoleServer, AsksWithoutTokenOrFromAnotherOriginAreForbidden) {
    web::WebConsoleServer server;
    std::string error;
    ASSERT_TRUE(server.Start(0, &error)) << error;
    web::WebConsole console;
    console.key = "2323";
    console.title = "<b>VM</b> & \\\\.\\pipe\\com1";
    server.SetConsoles({console});
    std::string url = server.ConsoleUrl("2323");
    std::string self = "127.0.0.1:" + std::to_string(server.Port());
    ASSERT_EQ(url.compare(0, 7 + self.size(), "http://" + self), 0) << url;
    std::string target = url.substr(7 + self.size());
    std::string token = target.substr(target.find("token=") + 6);
    std::string host = "Host: " + self + "\r\n";
    std::string upgrade =
        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n";

    Reply page = Get(server.Port(), target, host, "</html>");
    EXPECT_EQ(page.status, 200) << page.text;
    EXPECT_NE(page.text.find("<title>&lt;b&gt;VM&lt;/b&gt; &amp; \\\\.\\pipe\\com1</title>"),
              std::string::npos)
        << page.text;
    EXPECT_EQ(Get(server.Port(), "/assets/xterm.js?token=" + token, host).status, 200);

    EXPECT_EQ(Get(server.Port(), "/console/2323", host).status, 403);
    EXPECT_EQ(Get(server.Port(), "/console/2323?token=", host).status, 403);
    EXPECT_EQ(Get(server.Port(), "/console/2323?token=" + token.substr(0, 8), host).status, 403);
    EXPECT_EQ(
        Get(server.Port(), "/console/2323?token=" + std::string(token.size(), '0'), host).status,
        403);
    EXPECT_EQ(Get(server.Port(), "/assets/xterm.js", host).status, 403);
    EXPECT_EQ(Get(server.Port(), target, host + "Origin: http://example.com\r\n").status, 403);
    // A name a foreign site rebinds to 127.0.0.1 reaches the port with its own Host.
    EXPECT_EQ(
        Get(server.Port(), target, "Host: example.com:" + std::to_string(server.Port()) + "\r\n")
            .status,
        403);
    EXPECT_EQ(Get(server.Port(), target, host + upgrade + "Origin: http://example.com\r\n").status,
              403);
    EXPECT_EQ(Get(server.Port(), target, host + upgrade).status, 403);  // a browser sends one
    EXPECT_EQ(Get(server.Port(), target, host + upgrade + "Origin: http://" + self + "\r\n").status,
              101);

    // On HTTP's own port a browser names the host without its port.
    web::Request onPort80{"GET", target, "127.0.0.1", true, "http://127.0.0.1", false};
    EXPECT_EQ(web::Judge(onPort80, 80, token).kind, web::Verdict::Page);
    EXPECT_EQ(web::Judge(onPort80, 8080, token).kind, web::Verdict::Forbidden);
}

// The token in a console's URL, and the request head a browser on the same page sends.
struct Page {
    std::string target, host, upgrade;
};
Page PageOf(const web::WebConsoleServer& server, const std::string& key) {
    std::string self = "127.0.0.1:" + std::to_string(server.Port());
    std::string url = server.ConsoleUrl(key);
    Page page;
    page.target = url.substr(7 + self.size());
    page.host = "Host: " + self + "\r\n";
    page.upgrade =
        "Upgrade: websocket\r\nConnection: Upgrade\r\nSec-WebSocket-Version: 13\r\n"
        "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nOrigin: http://" + self + "\r\n";
    return page;
}

// The payloads of the text frames a server sends until its close frame, or ms pass; "" when no
// close frame came.
std::string TextFrames(TestClient& client, int ms) {
    std::string bytes = client.ReadUntil("\x88", ms), text;
    if (bytes.find("\x88") == std::string::npos)
        return "";
    size_t at = bytes.find("\r\n\r\n");
    for (at = at == std::string::npos ? 0 : at + 4; at + 2 <= bytes.size();) {
        uint8_t op = static_cast<uint8_t>(bytes[at]) & 0x0F;
        size_t size = static_cast<uint8_t>(bytes[at + 1]) & 0x7F, head = 2;
        if (size == 126 && at + 4 <= bytes.size()) {
            size = (static_cast<uint8_t>(bytes[at + 2]) << 8) | static_cast<uint8_t>(bytes[at + 3]);
            head = 4;
        }
        if (op == 1)
            text += bytes.substr(at + head, size);
        at += head + size;
    }
    return text;
}

// A connector of this program with a pipe server, and the web console that offers it.
struct LiveWebConsole {
    LiveWebConsole() : pipeName(UniquePipeName()), pipe(pipeName) {
        std::string error;
        EXPECT_TRUE(pipe.Listen(&error)) << error;
        host.Start({SettingsFor(pipeName, std::to_string(FreePort()))});
        EXPECT_TRUE(server.Start(0, &error)) << error;
        EXPECT_TRUE(web::ConsoleOf(Connector(), &console));
        server.SetConsoles({console});
        server.SetDirectory(&host);
    }
    PipeConnector& Connector() { return host.Connectors().At(0); }
    // A browser's WebSocket to the console.
    bool Open(TestClient& browser) {
        Page page = PageOf(server, console.key);
        return browser.Connect(server.Port()) &&
               browser.Send("GET " + page.target + " HTTP/1.1\r\n" + page.host + page.upgrade +
                            "\r\n");
    }

    std::string pipeName;
    tools::PipeServer pipe;
    ConnectorHost host{nullptr};
    web::WebConsoleServer server;
    web::WebConsole console;
};

// A message as a browser sends it: masked, in one frame.
std::string BrowserFrame(const std::string& text) {
    std::string frame = "\x81";
    if (text.size() < 126) {
        frame += static_cast<char>(0x80 | text.size());
    } else {
        frame += '\xFF';
        for (int shift = 56; shift >= 0; shift -= 8)
            frame += static_cast<char>((text.size() >> shift) & 0xFF);
    }
    const char mask[4] = {0x12, 0x34, 0x56, 0x78};
    frame.append(mask, 4);
    for (size_t i = 0; i < text.size(); ++i)
        frame += static_cast<char>(text[i] ^ mask[i % 4]);
    return frame;
}

TEST(WebConsoleServer, AConsoleOfOneClientThatIsTakenSaysSoAndCloses) {
    LiveWebConsole live;
    TestClient typist;
    ASSERT_TRUE(typist.Connect(live.Connector().GetListenPort()));
    ASSERT_TRUE(WaitUntil([&] { return live.Connector().GetStatus() == Connected; }, 3000));
    TestClient browser;
    ASSERT_TRUE(live.Open(browser));
    EXPECT_EQ(TextFrames(browser, 5000),
              "*** Console " + live.pipeName + " is busy: 1 clients connected\r\n");
}

TEST(WebConsoleServer, APasteOfSeveralLargeMessagesReachesThePipeWhole) {
    LiveWebConsole live;
    TestClient browser;
    ASSERT_TRUE(live.Open(browser));
    ASSERT_TRUE(live.pipe.WaitClient(5000));
    EXPECT_NE(browser.ReadUntil("connected!", 5000).find("connected!"), std::string::npos);
    std::string paste;
    for (int message = 0; message < 3; ++message) {
        std::string text(1 << 20, '\0');
        for (size_t i = 0; i < text.size(); ++i)
            text[i] = static_cast<char>('a' + (i * 7 + message) % 26);
        ASSERT_TRUE(browser.Send(BrowserFrame(text)));
        paste += text;
    }
    std::string got;
    char piece[65536];
    for (int64_t end = NowMs() + 10000; got.size() < paste.size() + 1 && NowMs() < end;) {
        long n = live.pipe.Read(piece, sizeof piece, 200);
        if (n < 0)
            break;
        got.append(piece, static_cast<size_t>(n));
    }
    EXPECT_TRUE(SameBytes(got, "\r" + paste));  // after the carriage return of its arrival
}

TEST(WebConsoleServer, ACharacterCutShortReachesTheBrowserWhenTheConsoleEnds) {
    LiveWebConsole live;
    TestClient browser;
    ASSERT_TRUE(live.Open(browser));
    ASSERT_TRUE(live.pipe.WaitClient(5000)) << browser.ReadFor(500) << " status " << live.Connector().GetStatus() << " " << live.Connector().GetErrorText();
    EXPECT_NE(browser.ReadUntil("connected!", 5000).find("connected!"), std::string::npos);
    ASSERT_TRUE(live.pipe.Write("ok\xC3", 3));  // the first of the two bytes of a character
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    live.host.StopAll();
    // The byte held for the rest of it is shown as itself, then the page is closed.
    EXPECT_NE(TextFrames(browser, 5000).find("ok\xC3\x83"), std::string::npos);
}

TEST(WebConsoleServer, LongHeadersAreReadAndTooLongOnesTold) {
    web::WebConsoleServer server;
    std::string error;
    ASSERT_TRUE(server.Start(0, &error)) << error;
    web::WebConsole console;
    console.key = "2323";
    server.SetConsoles({console});
    Page page = PageOf(server, "2323");
    // Every cookie of every local web application, as a browser sends them.
    std::string cookies = "Cookie: " + std::string(9 * 1024, 'c') + "\r\n";
    EXPECT_EQ(Get(server.Port(), page.target, page.host + cookies).status, 200);
    std::string huge = "Cookie: " + std::string(70 * 1024, 'c') + "\r\n";
    EXPECT_EQ(Get(server.Port(), page.target, page.host + huge).status, 431);
}

TEST(WebConsoleServer, ConnectionsThatAskNothingMakeRoomForAPage) {
    web::WebConsoleServer server;
    std::string error;
    ASSERT_TRUE(server.Start(0, &error)) << error;
    web::WebConsole console;
    console.key = "2323";
    server.SetConsoles({console});
    Page page = PageOf(server, "2323");
    std::vector<TestClient> silent(70);
    for (TestClient& c : silent)
        ASSERT_TRUE(c.Connect(server.Port()));
    int64_t start = NowMs();
    EXPECT_EQ(Get(server.Port(), page.target, page.host).status, 200);
    EXPECT_LT(NowMs() - start, 3000);
}

// A guest's bytes that are no UTF-8, in the line of its last alert, are answered as text like
// any other, request after request.
TEST(WebConsoleServer, TheStatusApiTellsEachConsoleItsClientsAndItsLatestOutput) {
    std::string pipeName = UniquePipeName(), error;
    tools::PipeServer pipe(pipeName);
    ASSERT_TRUE(pipe.Listen(&error)) << error;
    ConnectorSettings settings = SettingsFor(pipeName, std::to_string(FreePort()));
    settings.maxClients = 2;
    settings.replayKiB = 8;
    settings.alerts = "ERROR";
    ConnectorSettings ipv6 = SettingsFor(UniquePipeName(), std::to_string(FreePort()));
    ipv6.listenAddress = "::1";
    ConnectorHost host{nullptr};
    host.Start({settings, ipv6});
    web::WebConsoleServer server;
    ASSERT_TRUE(server.Start(0, &error)) << error;
    server.SetDirectory(&host);
    PipeConnector& c = host.Connectors().At(0);
    TestClient first, second;
    ASSERT_TRUE(first.Connect(c.GetListenPort()));
    ASSERT_TRUE(pipe.WaitClient(5000));
    ASSERT_TRUE(second.Connect(c.GetListenPort()));
    ASSERT_TRUE(WaitUntil([&] { return c.Clients().size() == 2; }, 3000));
    ASSERT_TRUE(first.Send("abc"));
    const std::string output =
        std::string(5000, '.') + "\r\nERROR \xc0\xaf \xed\xa0\x80\r\nlogin: \xc3\x83\xc2\xa9\xc3";
    ASSERT_TRUE(pipe.Write(output.data(), output.size()));
    ASSERT_TRUE(WaitUntil([&] { return c.GetBytesSent() >= int64_t(output.size()); }, 3000));
    ConsoleAlert alert;
    ASSERT_TRUE(WaitUntil([&] { return c.LastAlert(&alert); }, 3000));

    Page page = PageOf(server, "x");
    std::string token = page.target.substr(page.target.find("token="));
    for (int ask = 0; ask < 2; ++ask) {
        Reply all = Get(server.Port(), "/api/consoles?" + token, page.host, "]}]\n");
        ASSERT_EQ(all.status, 200) << all.text;
        EXPECT_NE(all.text.find("Content-Type: application/json"), std::string::npos) << all.text;
        std::string json = all.text.substr(all.text.find("\r\n\r\n") + 4);
        EXPECT_NE(json.find("\"port\":" + c.GetPortText() + ","), std::string::npos) << json;
        EXPECT_NE(json.find("\"status\":\"Connected\""), std::string::npos) << json;
        // (The surrogate's last byte, 0x80 alone, is a C1 control: the line leaves it out.)
        EXPECT_NE(json.find("\"line\":\"ERROR \xef\xbf\xbd\xef\xbf\xbd \xef\xbf\xbd\xef\xbf\xbd\""),
                  std::string::npos)
            << json;
        EXPECT_NE(json.find("\"listening\":[\"[::1]:" + ipv6.portText + "\"]"), std::string::npos)
            << json;
        // The first client typed 3 bytes and was sent the whole output.
        EXPECT_NE(json.find("{\"bytesFromClient\":3,\"bytesToClient\":" +
                            std::to_string(output.size()) + ","),
                  std::string::npos)
            << json;
        size_t named = 0;
        for (size_t at = json.find("\"name\":\"127.0.0.1"); at != std::string::npos;
             at = json.find("\"name\":\"127.0.0.1", at + 1))
            ++named;
        EXPECT_EQ(named, 2u) << json;
    }

    // The tail is the console's latest bytes as text, 4 KiB unless asked otherwise, with a
    // character cut at its end shown as the byte it is.
    Reply tail = Get(server.Port(), "/api/consoles/" + c.GetPortText() + "/tail?kib=1&" + token,
                     page.host, "login: \xc3\x83\xc2\xa9\xc3\x83");
    ASSERT_EQ(tail.status, 200) << tail.text;
    std::string text = tail.text.substr(tail.text.find("\r\n\r\n") + 4);
    EXPECT_EQ(text.size(), 1024u + 6);  // six bad bytes, the cut one among them, as Latin-1
    EXPECT_EQ(text.substr(text.size() - 13), "login: \xc3\x83\xc2\xa9\xc3\x83");
    Reply most = Get(server.Port(), "/api/consoles/" + c.GetPortText() + "/tail?" + token,
                     page.host, "login: \xc3\x83\xc2\xa9\xc3\x83");
    std::string latest = most.text.substr(most.text.find("\r\n\r\n") + 4);
    EXPECT_EQ(latest.substr(0, 4096 - 28), std::string(4096 - 28, '.'));
    EXPECT_EQ(Get(server.Port(), "/api/consoles/1/tail?" + token, page.host).status, 404);
    EXPECT_EQ(Get(server.Port(), "/api/consoles", page.host).status, 403);
    EXPECT_EQ(Get(server.Port(), "/api/consoles?" + token,
                  page.host + "Origin: http://example.com\r\n").status,
              403);
}

TEST(WebConsoleServer, ListensOnLoopbackAddressAlone) {
    web::WebConsoleServer server;
    std::string error;
    ASSERT_TRUE(server.Start(0, &error)) << error;
    TestClient client;
    EXPECT_TRUE(client.Connect(server.Port()));
    EXPECT_FALSE(client.Connect(server.Port(), "", 0, "127.0.0.2"));
    EXPECT_FALSE(client.Connect(server.Port(), "", 0, "::1"));

    // Its port is its own while it runs, and free again when it stops.
    web::WebConsoleServer second;
    EXPECT_FALSE(second.Start(server.Port(), &error));
    EXPECT_NE(error.find("could not listen on 127.0.0.1 port"), std::string::npos) << error;
    uint16_t port = server.Port();
    server.Stop();
    EXPECT_FALSE(server.IsRunning());
    EXPECT_EQ(server.ConsoleUrl("2323"), "");
    EXPECT_TRUE(second.Start(port, &error)) << error;
}

}  // namespace
}  // namespace tolvi::test
