// The client's body decoding (DecodeContent) on the wire: against scripted
// replies for chunked and misbehaving answers, and against nginx for gzip.
#include <gtest/gtest.h>

#include "net/NMHttp.h"
#include "tests/net/HttpTestPeer.h"
#include "tests/support/Gzip.h"
#include "tests/support/NginxFixture.h"

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
