// The client's body decoding (DecodeContent) on the wire: against scripted
// replies for chunked and misbehaving answers, and against nginx for gzip.
#include <gtest/gtest.h>

#include "net/NMHttp.h"
#include "tests/net/HttpTestPeer.h"
#include "tests/support/Gzip.h"
#include "tests/support/NginxFixture.h"
#include "tests/support/ScriptedPeer.h"
#include "tests/support/TestSupport.h"

using testsupport::Chunked;
using testsupport::Compress;

namespace {
struct Client : net::TNMHTTP {
    explicit Client(bool decode) {
        TimeOut = 20000;
        DecodeContent = decode;
    }
};

const std::string Page = "<p>Tom&amp;Jerry, 小燕子</p>\n";
}  // namespace

TEST(HttpDecode, OffByDefaultAndTheRequestNeverChanges) {
    EXPECT_FALSE(net::TNMHTTP().DecodeContent);
    const std::string reply =
        Response("200 OK", {"Transfer-Encoding: chunked", "Content-Encoding: gzip"},
                 Chunked(Compress(Page), 9));
    HttpTestPeer peer;
    peer.Reply(reply);
    peer.Reply(reply);
    Client raw(false), decoding(true);
    raw.Get(peer.Url("/p"));
    decoding.Get(peer.Url("/p"));
    EXPECT_EQ(raw.Body, Chunked(Compress(Page), 9));
    EXPECT_EQ(decoding.Body, Page);
    ASSERT_EQ(peer.Requests().size(), 2u);
    EXPECT_EQ(peer.Requests()[0], peer.Requests()[1]);
    EXPECT_EQ(peer.Requests()[0].find("Accept-Encoding"), std::string::npos);
}

TEST(HttpDecode, ChunkedBodyEndsAtItsLastChunkEvenWhenTheServerStaysConnected) {
    HttpTestPeer peer;
    // Names matched as browsers match them: any case, no blank after the colon.
    peer.Reply(
        Response("200 OK", {"transfer-encoding:chunked", "content-type:text/html; charset=UTF-8"},
                 Chunked(Page, 4)),
        false);
    Client http(true);
    http.Get(peer.Url("/p"));
    EXPECT_EQ(http.Body, Page);
    EXPECT_EQ(http.ContentType(), "text/html; charset=UTF-8");
    EXPECT_FALSE(http.Connected);
}

TEST(HttpDecode, BrokenBodiesKeepWhatDecodedAndBombsStopAtTheBound) {
    const std::string gz = Compress(std::string(200000, 'a') + "tail");
    HttpTestPeer peer;
    peer.Reply(Response("200 OK", {"Transfer-Encoding: chunked"}, "5\r\nhello\r\n3\r\nwor"));
    peer.Reply(Response("200 OK", {"Transfer-Encoding: chunked"}, "5\r\nhello\r\nXYZ\r\nmore"));
    peer.Reply(Response("200 OK", {"Content-Encoding: gzip"}, gz.substr(0, gz.size() - 12)));
    // 64 MiB of zeros in under 100 KB, and then the connection stays open.
    peer.Reply(
        Response("200 OK", {"Content-Encoding: gzip"}, Compress(std::string(64u << 20, 'z'))),
        false);
    Client http(true);
    http.Get(peer.Url("/missing-last-chunk"));
    EXPECT_EQ(http.Body, "hellowor");
    http.Get(peer.Url("/bad-size"));
    EXPECT_EQ(http.Body, "hello");
    http.Get(peer.Url("/truncated-gzip"));
    EXPECT_EQ(http.Body.substr(0, 10), "aaaaaaaaaa");
    EXPECT_GE(http.Body.size(), 199000u);
    http.MaxBodyLength = 1 << 20;
    http.Get(peer.Url("/bomb"));
    EXPECT_EQ(http.Body.size(), 1u << 20);
    EXPECT_FALSE(http.Connected);
    EXPECT_EQ(http.ContentType(), "") << "each response's own values";
}

TEST(HttpDecode, GzipFromNginxToAStringAndToAFile) {
    testsupport::NginxFixture nginx;
    std::string page;
    for (int i = 0; i < 5000; ++i)
        page += "<li>guest" + std::to_string(i) + "</li>\n";
    nginx.AddFile("zipped/who.html", "not this one");
    nginx.AddFile("zipped/who.html.gz", Compress(page));
    // Sent compressed although the request does not ask for it.
    nginx.AddLocation("/zipped/", "gzip_static always;");
    nginx.Start();
    Client raw(false), http(true);
    raw.Get(nginx.Url("/zipped/who.html"));
    EXPECT_EQ(raw.Body, Compress(page));
    http.Get(nginx.Url("/zipped/who.html"));
    EXPECT_EQ(http.Body, page);
    EXPECT_NE(http.Header.find("Content-Encoding: gzip"), std::string::npos);

    testsupport::TempFolder folder;
    http.InputFileMode = true;
    http.Body = folder.File("who.html");
    http.Get(nginx.Url("/zipped/who.html"));
    EXPECT_EQ(testsupport::ReadFile(folder.File("who.html")), page);
}

TEST(HttpDecode, BodyEndsAtItsLengthOrElseAtTheClose) {
    struct Case {
        std::string Status;
        std::vector<std::string> Lines;
        std::string Sent;
        bool StaysOpen;
        std::string Expected;
    };
    const std::string gz = Compress(Page);
    const Case cases[] = {
        // The server keeps the connection: only the length can end the body.
        {"200 OK", {"Content-Length: 5"}, "hello", true, "hello"},
        {"200 OK", {"Content-Length: 5"}, "hello world", true, "hello"},
        {"200 OK", {"content-length:5"}, "hello", true, "hello"},
        {"200 OK", {"Content-Length: 5", "Content-Length: 5"}, "hello", true, "hello"},
        {"200 OK", {"Content-Length: 5, 5"}, "hello", true, "hello"},
        {"200 OK", {"Content-Length: 0"}, "", true, ""},
        {"204 No Content", {"Content-Length: 5"}, "hello", true, ""},
        // The length counts the bytes as sent, not as inflated.
        {"200 OK",
         {"Content-Encoding: gzip", "Content-Length: " + std::to_string(gz.size())},
         gz,
         true,
         Page},
        // Beside a transfer coding a length does not count.
        {"200 OK",
         {"Transfer-Encoding: chunked", "Content-Length: 3"},
         Chunked(Page, 7),
         true,
         Page},
        // The server closes: what arrived is kept, and no bad length cuts it.
        {"200 OK", {"Content-Length: 50"}, "hello", false, "hello"},
        {"200 OK", {"Content-Length: -1"}, "hello world", false, "hello world"},
        {"200 OK", {"Content-Length: 1e9"}, "hello world", false, "hello world"},
        {"200 OK", {"Content-Length: 5x"}, "hello world", false, "hello world"},
        {"200 OK", {"Content-Length: 5", "Content-Length: 7"}, "hello world", false, "hello world"},
        {"200 OK", {"Content-Length: 99999999999999999999"}, "hello", false, "hello"},
    };
    HttpTestPeer peer;
    for (const Case& c : cases)
        peer.Reply(Response(c.Status, c.Lines, c.Sent), !c.StaysOpen);
    Client http(true);
    // A body that waits for a close that never comes fails here, not at once.
    http.TimeOut = 5000;
    for (const Case& c : cases) {
        const std::string name = c.Status + " " + c.Lines.front();
        http.Get(peer.Url("/p"));
        EXPECT_EQ(http.Body, c.Expected) << name;
        EXPECT_FALSE(http.Connected) << name;
    }

    // Bounded below its length, into a file, in answer to Head; and a body
    // that dribbles in is counted over all its pieces.
    peer.Reply(Response("200 OK", {"Content-Length: 11"}, "hello world"), false);
    peer.Reply(Response("200 OK", {"Content-Length: 5"}, "hello"), false);
    peer.Reply(Response("200 OK", {"Content-Length: 5"}), false);
    http.MaxBodyLength = 5;
    http.Get(peer.Url("/bounded"));
    EXPECT_EQ(http.Body, "hello");
    testsupport::TempFolder folder;
    http.InputFileMode = true;
    http.Body = folder.File("body");
    http.Get(peer.Url("/file"));
    EXPECT_EQ(testsupport::ReadFile(folder.File("body")), "hello");
    http.MaxBodyLength = -1;
    http.InputFileMode = false;
    http.Head(peer.Url("/head"));
    EXPECT_EQ(http.Body, "");
    testsupport::ScriptedPeer dribbler;
    dribbler.ReadUntil("\r\n\r\n")
        .Send("HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\n")
        .SendSlowly("0123456789", std::chrono::milliseconds(5))
        .Hold();
    dribbler.Start();
    http.Get("http://127.0.0.1:" + std::to_string(dribbler.Port()) + "/");
    EXPECT_EQ(http.Body, "0123456789");
    EXPECT_EQ(http.BytesRecvd, 10);
}
