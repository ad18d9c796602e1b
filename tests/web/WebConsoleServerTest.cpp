// The web console's server as another program or web page meets it: only requests with the
// token, for 127.0.0.1 and from its own origin get anything; it is reachable on 127.0.0.1
// alone.
#include <gtest/gtest.h>

#include "support/TestClient.h"
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
