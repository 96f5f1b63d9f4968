// Redirects: a Location resolved against the URL it answered, and the values
// that cannot be followed.
#include <gtest/gtest.h>

#include "net/NMHttp.h"
#include "net/UrlResolve.h"
#include "tests/net/HttpTestPeer.h"

namespace {
struct Client : net::TNMHTTP {
    Client() { TimeOut = 20000; }
};

struct Resolution {
    std::string Reference;
    std::string Expected;  // empty: refused
};

// RFC 3986's own examples (5.4.1 normal, 5.4.2 abnormal) against its base.
// Fragments are dropped, since a fragment is never sent, an empty path is
// written "/" (the same for http), and what names no http server ("g:h",
// the strict reading of "http:g") is refused.
const Resolution RfcExamples[] = {
    {"g:h", ""},
    {"g", "http://a/b/c/g"},
    {"./g", "http://a/b/c/g"},
    {"g/", "http://a/b/c/g/"},
    {"/g", "http://a/g"},
    {"//g", "http://g/"},
    {"?y", "http://a/b/c/d;p?y"},
    {"g?y", "http://a/b/c/g?y"},
    {"#s", "http://a/b/c/d;p?q"},
    {"g#s", "http://a/b/c/g"},
    {"g?y#s", "http://a/b/c/g?y"},
    {";x", "http://a/b/c/;x"},
    {"g;x", "http://a/b/c/g;x"},
    {"g;x?y#s", "http://a/b/c/g;x?y"},
    {"", "http://a/b/c/d;p?q"},
    {".", "http://a/b/c/"},
    {"./", "http://a/b/c/"},
    {"..", "http://a/b/"},
    {"../", "http://a/b/"},
    {"../g", "http://a/b/g"},
    {"../..", "http://a/"},
    {"../../", "http://a/"},
    {"../../g", "http://a/g"},
    {"../../../g", "http://a/g"},
    {"../../../../g", "http://a/g"},
    {"/./g", "http://a/g"},
    {"/../g", "http://a/g"},
    {"g.", "http://a/b/c/g."},
    {".g", "http://a/b/c/.g"},
    {"g..", "http://a/b/c/g.."},
    {"..g", "http://a/b/c/..g"},
    {"./../g", "http://a/b/g"},
    {"./g/.", "http://a/b/c/g/"},
    {"g/./h", "http://a/b/c/g/h"},
    {"g/../h", "http://a/b/c/h"},
    {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
    {"g;x=1/../y", "http://a/b/c/y"},
    {"g?y/./x", "http://a/b/c/g?y/./x"},
    {"g?y/../x", "http://a/b/c/g?y/../x"},
    {"g#s/./x", "http://a/b/c/g"},
    {"g#s/../x", "http://a/b/c/g"},
    {"http:g", ""},
};
}  // namespace

TEST(Redirect, ResolvesTheExamplesOfRfc3986) {
    for (const Resolution& example : RfcExamples) {
        const net::TResolvedUrl next =
            net::ResolveLocation("http://a/b/c/d;p?q", example.Reference);
        EXPECT_EQ(next.Url, example.Expected) << example.Reference;
        EXPECT_EQ(next.Reason.empty(), !example.Expected.empty()) << example.Reference;
    }
}

TEST(Redirect, EveryKindOfReferenceKeepsWhatItDoesNotName) {
    struct Case {
        std::string Location;
        std::string RequestLine;
        std::string HostLine = "Host: 127.0.0.1";
    };
    HttpTestPeer peer;
    const std::string port = std::to_string(peer.Port());
    const Case cases[] = {
        {"./same/x", "GET /rel-b/same/x HTTP/1.0"},
        {"../up.html", "GET /up.html HTTP/1.0"},
        {"?q=1", "GET /rel-b/go?q=1 HTTP/1.0"},
        {"/a/./b/../c#part", "GET /a/c HTTP/1.0"},
        {"//localhost:" + port + "/net", "GET /net HTTP/1.0", "Host: localhost"},
        {"HTTP://LocalHost:" + port + "/abs?x", "GET /abs?x HTTP/1.0", "Host: localhost"},
        {"//localhost:" + port + "?only=query", "GET /?only=query HTTP/1.0", "Host: localhost"},
        // Bytes a URL may not hold are percent-encoded as they are.
        {"/\xE6\x88\xBF \xB7\xBF", "GET /%E6%88%BF%20%B7%BF HTTP/1.0"},
    };
    for (const Case& c : cases) {
        peer.Reply(Response("302 Found", {"Location: " + c.Location}));
        peer.Reply(Response("200 OK", {}, "there"));
    }
    Client http;
    for (const Case& c : cases) {
        const size_t before = peer.Requests().size();
        http.Get(peer.Url("/rel-b/go"));
        ASSERT_EQ(peer.Requests().size(), before + 2) << c.Location;
        const std::string& request = peer.Requests()[before + 1];
        EXPECT_EQ(request.substr(0, request.find("\r\n")), c.RequestLine) << c.Location;
        EXPECT_NE(request.find("\r\n" + c.HostLine + "\r\n"), std::string::npos) << c.Location;
        EXPECT_EQ(http.Body, "there") << c.Location;
    }
}

TEST(Redirect, LocationsThatCannotBeFollowedEndWithTheirReason) {
    const std::pair<std::string, std::string> cases[] = {
        {"http://", "Invalid redirect location: http://"},
        {"http:room.html", "Invalid redirect location: http:room.html"},
        {"http://[::1/x", "Invalid redirect location: http://[::1/x"},
        {"http://[fe80::1%25eth0]/", "Invalid redirect location: http://[fe80::1%25eth0]/"},
        {"http://127.0.0.1:70000/", "Invalid redirect location: http://127.0.0.1:70000/"},
        {"http://127.0.0.1:0/", "Invalid redirect location: http://127.0.0.1:0/"},
        {"ftp://127.0.0.1/x", "Unsupported redirect location: ftp://127.0.0.1/x"},
        {"http://" + std::string(300, 'h') + " x/",
         "Invalid redirect location: http://" + std::string(193, 'h') + "..."},
    };
    for (const auto& [location, reason] : cases) {
        HttpTestPeer peer;
        peer.ReplyAlways(Response("302 Found", {"Location: " + location}, "moved"));
        Client http;
        try {
            http.Get(peer.Url("/from"));
            ADD_FAILURE() << location << " was followed";
        } catch (const net::ESockError& error) {
            EXPECT_EQ(error.Message(), reason);
        }
        EXPECT_EQ(peer.Connections(), 1) << location;
        EXPECT_FALSE(http.Connected);
        // A caller that handles redirects itself gets the reply instead.
        bool handled = false;
        http.OnRedirect = [&handled](bool& Handled) { Handled = handled = true; };
        http.Get(peer.Url("/from"));
        EXPECT_TRUE(handled);
        EXPECT_EQ(http.Body, "moved") << location;
    }
}
