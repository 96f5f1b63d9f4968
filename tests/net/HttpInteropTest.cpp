// The client against a real nginx: what it reports must match what nginx sends.
#include <gtest/gtest.h>

#include "net/NMHttp.h"
#include "tests/support/NginxFixture.h"

using net::CmdType;
using net::TNMHTTP;

namespace {
struct Client : TNMHTTP {
    Client() { TimeOut = 20000; }
};

// nginx's own answer to the request the client sends, split at the blank line.
struct RawAnswer {
    std::string Header;
    std::string Body;
};
RawAnswer Reference(const testsupport::NginxFixture& nginx, const TNMHTTP& http) {
    const std::string answer = nginx.RawRequest(http.HeaderList().Text() + "\r\n");
    const size_t end = answer.find("\r\n\r\n");
    return {answer.substr(0, end + 4), answer.substr(end + 4)};
}

// Date and Last-Modified may tick between two requests; nothing else differs.
std::string WithoutDates(std::string header) {
    for (const char* name : {"Date: ", "Last-Modified: "}) {
        const size_t start = header.find(name);
        if (start == std::string::npos)
            continue;
        header.erase(start, header.find("\r\n", start) + 2 - start);
    }
    return header;
}

class HttpInterop : public testing::Test {
protected:
    void SetUp() override {
        nginx.AddFile("index.html", "<html><body>Room: alice, bob</body></html>\n");
        nginx.AddRedirect("/old", 301, "/middle");
        nginx.AddRedirect("/middle", 302, "/index.html");
        nginx.AddLocation("= /cookie",
                          "add_header Set-Cookie \"sid=7\" always; return 302 /index.html;");
        nginx.AddLocation("= /loop", "return 302 /loop;");
        nginx.Start();
    }
    testsupport::NginxFixture nginx;
};
}  // namespace

TEST_F(HttpInterop, SmallPage) {
    Client http;
    std::string events;
    http.OnSuccess = [&](CmdType) { events += "success;"; };
    http.OnFailure = [&](CmdType) { events += "failure;"; };
    http.Get(nginx.Url("/index.html"));
    EXPECT_EQ(events, "success;");
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "<html><body>Room: alice, bob</body></html>\n");
    EXPECT_EQ(http.BytesTotal, static_cast<int32_t>(http.Body.size()));
    const RawAnswer reference = Reference(nginx, http);
    EXPECT_EQ(WithoutDates(http.Header), WithoutDates(reference.Header));
    EXPECT_EQ(http.Body, reference.Body);
    EXPECT_EQ(http.Header.substr(0, 17), "HTTP/1.1 200 OK\r\n");
}

TEST_F(HttpInterop, NotFoundKeepsTheErrorPage) {
    Client http;
    std::string events;
    http.OnSuccess = [&](CmdType) { events += "success;"; };
    http.OnFailure = [&](CmdType cmd) { events += "failure" + std::to_string(int(cmd)) + ";"; };
    http.Get(nginx.Url("/missing.html"));
    EXPECT_EQ(events, "failure0;");
    EXPECT_EQ(http.ReplyNumber, 404);
    EXPECT_NE(http.Body.find("404 Not Found"), std::string::npos);
    EXPECT_EQ(http.Body, Reference(nginx, http).Body);
    EXPECT_EQ(http.BytesTotal, static_cast<int32_t>(http.Body.size()));
}

TEST_F(HttpInterop, HeadHasAHeaderAndNoBody) {
    Client http;
    http.Head(nginx.Url("/index.html"));
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "");
    EXPECT_EQ(http.BytesTotal, 43);
    EXPECT_NE(http.Header.find("\r\nContent-Length: 43\r\n"), std::string::npos);
    EXPECT_EQ(http.Header.substr(http.Header.size() - 4), "\r\n\r\n");
}

TEST_F(HttpInterop, RedirectChainIsFollowed) {
    Client http;
    int redirects = 0;
    http.OnRedirect = [&](bool&) { ++redirects; };
    http.Get(nginx.Url("/old"));
    EXPECT_EQ(redirects, 2);
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_EQ(http.Body, "<html><body>Room: alice, bob</body></html>\n");
    EXPECT_EQ(http.Port, nginx.Port()) << "nginx's absolute Location names its port";
}

TEST_F(HttpInterop, RedirectCookieIsCarriedOver) {
    Client http;
    http.Get(nginx.Url("/cookie"));
    EXPECT_EQ(http.HeaderInfo().Cookie, "") << "the jar keeps it, not the caller's own line";
    EXPECT_EQ(http.ReplyNumber, 200);
    EXPECT_NE(http.HeaderList().Text().find("\r\nCookie: sid=7\r\n"), std::string::npos);
}

TEST_F(HttpInterop, RedirectLoopEnds) {
    Client http;
    http.MaxRedirects = 3;
    EXPECT_THROW(http.Get(nginx.Url("/loop")), net::ESockError);
    EXPECT_EQ(http.ReplyNumber, 302);
}

TEST_F(HttpInterop, LargeFileArrivesWhole) {
    const int64_t size = 5 * 1024 * 1024 + 17;
    nginx.AddLargeFile("big.bin", size);
    Client http;
    int64_t packets = 0;
    http.OnPacketRecvd = [&](net::TPowersock&) { ++packets; };
    http.Get(nginx.Url("/big.bin"));
    ASSERT_EQ(static_cast<int64_t>(http.Body.size()), size);
    EXPECT_EQ(http.BytesTotal, size);
    EXPECT_EQ(http.BytesRecvd, size);
    EXPECT_GE(packets, size / 65536);
    EXPECT_EQ(http.Body, testsupport::ReadFile(nginx.FilePath("big.bin")));
}

TEST_F(HttpInterop, PostIsAnsweredByTheServer) {
    Client http;
    // nginx serves no POST to a static file: the refusal arrives as an event.
    int failures = 0;
    http.OnFailure = [&](CmdType cmd) { failures += cmd == CmdType::CmdPOST; };
    http.Post(nginx.Url("/index.html"), "name=a b");
    EXPECT_EQ(failures, 1);
    EXPECT_EQ(http.ReplyNumber, 405);
}
